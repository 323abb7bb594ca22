# Every target of ours links vardex_warnings; CI turns warnings into errors.
add_library(vardex_warnings INTERFACE)
target_compile_options(vardex_warnings INTERFACE -Wall -Wextra -Wpedantic -Wshadow -Wconversion
                                                 -Wno-sign-conversion)
if(VARDEX_WERROR)
  target_compile_options(vardex_warnings INTERFACE -Werror)
endif()
