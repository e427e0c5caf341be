# The 3D preview page's two texts compiled in: at build time node runs tools/viewer/build.js
# (esbuild and three.js from tools/viewer/node_modules) into generated/tools/viewer/ of the build
# tree; the library dustweave_viewer_page compiles the C++ it writes. Link it and include
# "tools/viewer/viewer_page.h" for ViewerPageBefore() and ViewerPageAfter().
# DUSTWEAVE_VIEWER_PARTS names the folder, which also holds the halves as HTML for the tests.
include_guard(GLOBAL)

set(DUSTWEAVE_VIEWER_SOURCE ${CMAKE_CURRENT_LIST_DIR})
set(DUSTWEAVE_VIEWER_GENERATED ${PROJECT_BINARY_DIR}/generated)
set(DUSTWEAVE_VIEWER_PARTS ${DUSTWEAVE_VIEWER_GENERATED}/tools/viewer)

# node runs on the machine that builds, whatever the target; the packages are locked.
find_program(DUSTWEAVE_NODE node NO_CMAKE_FIND_ROOT_PATH)
if(NOT DUSTWEAVE_NODE)
  message(FATAL_ERROR "node is missing, and the build needs it for the preview page: run scripts/install-deps")
endif()
set(viewer_modules ${DUSTWEAVE_VIEWER_SOURCE}/node_modules)
if(NOT EXISTS ${viewer_modules}/esbuild/package.json OR NOT EXISTS ${viewer_modules}/three/package.json)
  message(FATAL_ERROR "tools/viewer/node_modules lacks esbuild or three.js: run scripts/install-deps")
endif()

# Built again when the page's sources, the lock file or the installed packages change.
file(GLOB viewer_scripts CONFIGURE_DEPENDS ${DUSTWEAVE_VIEWER_SOURCE}/src/*.js)
set(viewer_inputs
  ${DUSTWEAVE_VIEWER_SOURCE}/build.js ${DUSTWEAVE_VIEWER_SOURCE}/template.html ${viewer_scripts}
  ${DUSTWEAVE_VIEWER_SOURCE}/package-lock.json
  ${viewer_modules}/esbuild/package.json ${viewer_modules}/three/package.json)
if(EXISTS ${viewer_modules}/.package-lock.json)
  list(APPEND viewer_inputs ${viewer_modules}/.package-lock.json)
endif()

add_custom_command(
  OUTPUT ${DUSTWEAVE_VIEWER_PARTS}/viewer_page.cpp ${DUSTWEAVE_VIEWER_PARTS}/viewer_page.h
         ${DUSTWEAVE_VIEWER_PARTS}/viewer_page_before.html ${DUSTWEAVE_VIEWER_PARTS}/viewer_page_after.html
  COMMAND ${DUSTWEAVE_NODE} ${DUSTWEAVE_VIEWER_SOURCE}/build.js --out ${DUSTWEAVE_VIEWER_PARTS}
  DEPENDS ${viewer_inputs}
  COMMENT "Bundling the preview page (three.js by esbuild)"
  VERBATIM)

add_library(dustweave_viewer_page STATIC
  ${DUSTWEAVE_VIEWER_PARTS}/viewer_page.cpp ${DUSTWEAVE_VIEWER_PARTS}/viewer_page.h)
target_include_directories(dustweave_viewer_page PUBLIC ${DUSTWEAVE_VIEWER_GENERATED})
if(DEFINED DUSTWEAVE_WARNINGS)
  target_compile_options(dustweave_viewer_page PRIVATE ${DUSTWEAVE_WARNINGS})
endif()
