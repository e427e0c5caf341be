# GoogleTest for a build whose target is not this machine's (Windows, 32-bit Linux): built from
# Debian's sources (googletest package) with the build's own compiler, found by find_package(GTest)
# instead of the system's 64-bit libraries.
include_guard(GLOBAL)

include(${CMAKE_CURRENT_LIST_DIR}/provide_package.cmake)

set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
add_library(GTest::GTest ALIAS gtest)   # the older names; GTest::gtest etc. come with it
add_library(GTest::Main ALIAS gtest_main)
dustweave_provide_package(GTest)
