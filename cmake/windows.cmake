# The Windows cross builds (presets win64 and win32): CLI11, nlohmann-json and fmt, which dustweave
# needs, exposed from their own header folders only (never all of /usr/include). What only the
# tests need is in cmake/windows_tests.cmake.
include(${CMAKE_CURRENT_LIST_DIR}/provide_package.cmake)

# ---- header-only libraries -----------------------------------------------------------------
# Each is one folder of /usr/include, linked into an include folder of the build's own; what
# follows the folder are the definitions its users compile with.
set(DUSTWEAVE_LINUX_HEADERS ${CMAKE_BINARY_DIR}/linux-headers)
function(dustweave_header_library target package entry)
  file(MAKE_DIRECTORY ${DUSTWEAVE_LINUX_HEADERS})
  file(CREATE_LINK /usr/include/${entry} ${DUSTWEAVE_LINUX_HEADERS}/${entry} SYMBOLIC)
  string(MAKE_C_IDENTIFIER ${target} name)
  add_library(${name} INTERFACE)
  target_include_directories(${name} SYSTEM INTERFACE ${DUSTWEAVE_LINUX_HEADERS})
  target_compile_definitions(${name} INTERFACE ${ARGN})
  add_library(${target} ALIAS ${name})
  dustweave_provide_package(${package})
endfunction()
dustweave_header_library(CLI11::CLI11 CLI11 CLI)
dustweave_header_library(nlohmann_json::nlohmann_json nlohmann_json nlohmann)
dustweave_header_library(fmt::fmt-header-only fmt fmt FMT_HEADER_ONLY)
