# Libraries found on the build machine, each as its package's own imported
# target. A missing one stops the configure here, naming what to install,
# rather than failing later in a compile.

# zqe_missing_package(package what [where]): stops the configure. <where>
# names the variable that would point at it; by default <package>_DIR.
function(zqe_missing_package pkg what)
  set(where "${pkg}_DIR at its CMake package folder")
  if(ARGC GREATER 2)
    set(where "${ARGV2}")
  endif()
  message(FATAL_ERROR "ZQE needs ${pkg} (${what}), which this configure could not find. "
                      "Run scripts/setup to install it, or point ${where}.")
endfunction()

# zqe_find_header_only(package target folder)
# A header-only library: <target> is the package's imported target, <folder>
# the one folder its headers live in. Natively the package is used as it
# comes. The cross build has no Windows copy, so it takes the build
# machine's (the toolchain file names where its package files live in
# ZQE_HOST_PACKAGE_PREFIX), but the package's include directory is the
# machine's /usr/include, whose glibc headers would shadow MinGW's: the
# target is pointed instead at a copy of that one folder in the build tree.
function(zqe_find_header_only pkg target folder)
  if(CMAKE_CROSSCOMPILING)
    find_package(${pkg} CONFIG QUIET PATHS ${ZQE_HOST_PACKAGE_PREFIX} NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
  else()
    find_package(${pkg} CONFIG QUIET)
  endif()
  if(NOT ${pkg}_FOUND OR NOT TARGET ${target})
    zqe_missing_package(${pkg} "the ${folder}/ headers")
  endif()
  if(NOT CMAKE_CROSSCOMPILING)
    return()
  endif()
  get_target_property(dirs ${target} INTERFACE_INCLUDE_DIRECTORIES)
  set(found "")
  foreach(d IN LISTS dirs)
    if(IS_DIRECTORY ${d}/${folder})
      set(found ${d}/${folder})
      break()
    endif()
  endforeach()
  if(NOT found)
    zqe_missing_package(${pkg} "its ${folder}/ folder under ${dirs}")
  endif()
  set(own ${CMAKE_BINARY_DIR}/_cross_headers/${pkg})
  # The folder is copied whole each configure; a stale file from an older
  # release of the package must not stay behind.
  file(REMOVE_RECURSE ${own})
  file(COPY ${found} DESTINATION ${own})
  set_target_properties(${target} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${own})
endfunction()
