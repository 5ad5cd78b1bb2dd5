# Each subsystem's targets expose only their own folder of src/ to the
# targets that link them: a folder in the build tree holds a link to just
# that one, so a layer that includes a header of a subsystem it does not
# link fails to compile instead of growing a hidden dependency.
function(zqe_expose_folder target folder)
  set(root ${CMAKE_BINARY_DIR}/layers/${folder})
  if(NOT IS_DIRECTORY ${PROJECT_SOURCE_DIR}/src/${folder})
    message(FATAL_ERROR "zqe_expose_folder: no folder src/${folder}")
  endif()
  if(NOT EXISTS ${root}/${folder})
    file(MAKE_DIRECTORY ${root})
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/src/${folder} ${root}/${folder} SYMBOLIC)
  endif()
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "OBJECT_LIBRARY")
    target_include_directories(${target} PRIVATE ${root})
  else()
    target_include_directories(${target} PUBLIC ${root})
  endif()
endfunction()
