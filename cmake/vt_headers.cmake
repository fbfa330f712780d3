# vt_headers(target scope folder [header...]): makes the target's headers reachable as
# "folder/name.h" to the target and, by scope, to the targets linking it, and no other
# folder of src/: an include of a folder the target does not link fails to compile.
# Without a header list the whole folder is exposed.
function(vt_headers target scope folder)
  set(root ${CMAKE_BINARY_DIR}/include/${target})
  if(ARGN)
    file(MAKE_DIRECTORY ${root}/${folder})
    foreach(header ${ARGN})
      file(CREATE_LINK ${PROJECT_SOURCE_DIR}/src/${folder}/${header} ${root}/${folder}/${header}
        SYMBOLIC)
    endforeach()
  else()
    get_filename_component(parent ${root}/${folder} DIRECTORY)
    file(MAKE_DIRECTORY ${parent})
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/src/${folder} ${root}/${folder} SYMBOLIC)
  endif()
  target_include_directories(${target} ${scope} ${root})
endfunction()
