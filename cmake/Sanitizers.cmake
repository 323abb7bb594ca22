# Applied to the whole tree so that every object agrees on the instrumented runtime.
if(VARDEX_SANITIZE)
  add_compile_options(-fsanitize=${VARDEX_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${VARDEX_SANITIZE})
endif()
