# The tests of the Windows cross builds: GoogleTest built with this toolchain, and wine as the
# runner of what is built here, in a prefix of its own. A 64-bit program is started by wine's
# 64-bit loader; 32-bit ones only where this machine runs them (scripts/wine32-check).

# ---- GoogleTest ----------------------------------------------------------------------------
set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
include(${CMAKE_CURRENT_LIST_DIR}/googletest.cmake)
# Its customisation header comes first: the win32 thread model has no std::mutex.
foreach(lib gtest gtest_main gmock gmock_main)
  target_include_directories(${lib} BEFORE PUBLIC ${CMAKE_CURRENT_LIST_DIR}/wine/gtest-port)
endforeach()

# ---- wine ----------------------------------------------------------------------------------
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(DUSTWEAVE_WINE_ARCH win64)
else()
  set(DUSTWEAVE_WINE_ARCH win32)
endif()
set(DUSTWEAVE_WINE_PREFIX ${CMAKE_BINARY_DIR}/wine-prefix)
set(DUSTWEAVE_WINE_RUN
    ${PROJECT_SOURCE_DIR}/scripts/wine-run ${DUSTWEAVE_WINE_PREFIX} ${DUSTWEAVE_WINE_ARCH})

# A Windows program that only says it ran: what wine32-check starts to learn whether wine's
# 32-bit side works here.
add_executable(wine_probe ${PROJECT_SOURCE_DIR}/tests/windows/wine_probe.c)
set_target_properties(wine_probe PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
set(DUSTWEAVE_RUNNER ${DUSTWEAVE_WINE_RUN})
set(DUSTWEAVE_RUNNER_NAME "wine ${DUSTWEAVE_WINE_ARCH}")
set(DUSTWEAVE_RUNNER_LOCK wine)
set(DUSTWEAVE_RUNNER_GUARD)
if(DUSTWEAVE_WINE_ARCH STREQUAL win32)
  set(DUSTWEAVE_RUNNER_GUARD ${PROJECT_SOURCE_DIR}/scripts/wine32-check ${DUSTWEAVE_WINE_PREFIX}
                             ${CMAKE_BINARY_DIR}/wine_probe.exe --)
endif()
include(${CMAKE_CURRENT_LIST_DIR}/emulated.cmake)

# Makes the prefix (wineboot --init) once, before the first test that runs under wine.
add_test(NAME wine_prefix COMMAND ${DUSTWEAVE_RUNNER_GUARD} ${DUSTWEAVE_WINE_RUN} --init)
set_tests_properties(wine_prefix PROPERTIES FIXTURES_SETUP wine RESOURCE_LOCK wine TIMEOUT 600)
if(DUSTWEAVE_RUNNER_GUARD)
  set_tests_properties(wine_prefix PROPERTIES SKIP_RETURN_CODE ${DUSTWEAVE_SKIPPED})
endif()
