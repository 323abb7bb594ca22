# Each library exports its own headers and no other folder's: a folder in the
# build tree holds links to just the headers of the library's source folder,
# under that folder's name. "params/field_table.h" is then found by the
# library itself and by what links it, and a header of a layer the target does
# not link is not found at all.
function(vardex_own_headers target folder)
  set(root ${PROJECT_BINARY_DIR}/own-headers/${target})
  file(GLOB headers CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/${folder}/*.h)
  file(REMOVE_RECURSE ${root})
  file(MAKE_DIRECTORY ${root}/${folder})
  foreach(header IN LISTS headers)
    get_filename_component(name ${header} NAME)
    file(CREATE_LINK ${header} ${root}/${folder}/${name} SYMBOLIC)
  endforeach()
  target_include_directories(${target} PUBLIC ${root})
endfunction()
