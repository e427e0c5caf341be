# The Windows cross builds (presets win64 and win32): GoogleTest built from Debian's sources with
# this toolchain, CLI11 and nlohmann-json exposed from their own header folders only (never all of
# /usr/include), and wine as the emulator that runs what is built here, in a prefix of its own.

# ---- packages that find_package() finds here instead of on the Linux system ------------------
function(dustweave_provide_package name)
  string(TOLOWER ${name} lower)
  file(WRITE ${CMAKE_FIND_PACKAGE_REDIRECTS_DIR}/${lower}-config.cmake
       "# ${name}: targets made by cmake/windows.cmake for the Windows build.\n")
  file(WRITE ${CMAKE_FIND_PACKAGE_REDIRECTS_DIR}/${lower}-config-version.cmake
       "set(PACKAGE_VERSION_COMPATIBLE TRUE)\nset(PACKAGE_VERSION_EXACT TRUE)\n")
endfunction()

# ---- GoogleTest ----------------------------------------------------------------------------
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
# Its customisation header comes first: the win32 thread model has no std::mutex.
foreach(lib gtest gtest_main gmock gmock_main)
  target_include_directories(${lib} BEFORE PUBLIC ${CMAKE_CURRENT_LIST_DIR}/wine/gtest-port)
endforeach()
add_library(GTest::GTest ALIAS gtest)   # the older names; GTest::gtest etc. come with it
add_library(GTest::Main ALIAS gtest_main)
dustweave_provide_package(GTest)

# ---- header-only libraries -----------------------------------------------------------------
# Each is one folder of /usr/include, linked into an include folder of the build's own.
set(DUSTWEAVE_LINUX_HEADERS ${CMAKE_BINARY_DIR}/linux-headers)
function(dustweave_header_library target package entry)
  file(MAKE_DIRECTORY ${DUSTWEAVE_LINUX_HEADERS})
  file(CREATE_LINK /usr/include/${entry} ${DUSTWEAVE_LINUX_HEADERS}/${entry} SYMBOLIC)
  string(MAKE_C_IDENTIFIER ${target} name)
  add_library(${name} INTERFACE)
  target_include_directories(${name} SYSTEM INTERFACE ${DUSTWEAVE_LINUX_HEADERS})
  add_library(${target} ALIAS ${name})
  dustweave_provide_package(${package})
endfunction()
dustweave_header_library(CLI11::CLI11 CLI11 CLI)
dustweave_header_library(nlohmann_json::nlohmann_json nlohmann_json nlohmann)

# ---- wine ----------------------------------------------------------------------------------
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(DUSTWEAVE_WINE_ARCH win64)
else()
  set(DUSTWEAVE_WINE_ARCH win32)
endif()
set(DUSTWEAVE_WINE_PREFIX ${CMAKE_BINARY_DIR}/wine-prefix)
set(DUSTWEAVE_WINE_RUN
    ${PROJECT_SOURCE_DIR}/scripts/wine-run ${DUSTWEAVE_WINE_PREFIX} ${DUSTWEAVE_WINE_ARCH})
set(CMAKE_CROSSCOMPILING_EMULATOR ${DUSTWEAVE_WINE_RUN})

# GoogleTest suites run whole under wine, one start per suite (see cmake/wine/GoogleTest.cmake).
list(PREPEND CMAKE_MODULE_PATH ${CMAKE_CURRENT_LIST_DIR}/wine)

# Makes the prefix (wineboot --init) once, before the first test that runs under wine.
add_test(NAME wine_prefix COMMAND ${DUSTWEAVE_WINE_RUN} --init)
set_tests_properties(wine_prefix PROPERTIES FIXTURES_SETUP wine RESOURCE_LOCK wine TIMEOUT 600)

# Marks a test as run under wine: after the prefix exists, and one at a time.
function(dustweave_wine_test name)
  set_property(TEST ${name} APPEND PROPERTY FIXTURES_REQUIRED wine)
  set_property(TEST ${name} APPEND PROPERTY RESOURCE_LOCK wine)
endfunction()
