# dustweave_provide_package(NAME): find_package(NAME) finds the targets the build's own cmake/
# files made (GoogleTest built for the target, header-only libraries of a cross build) instead of
# searching the system.
include_guard(GLOBAL)

function(dustweave_provide_package name)
  string(TOLOWER ${name} lower)
  file(WRITE ${CMAKE_FIND_PACKAGE_REDIRECTS_DIR}/${lower}-config.cmake
       "# ${name}: targets made by the build's own cmake/ files.\n")
  file(WRITE ${CMAKE_FIND_PACKAGE_REDIRECTS_DIR}/${lower}-config-version.cmake
       "set(PACKAGE_VERSION_COMPATIBLE TRUE)\nset(PACKAGE_VERSION_EXACT TRUE)\n")
endfunction()
