# Tests of a build whose programs this machine starts only through a runner: wine for the Windows
# builds (cmake/windows.cmake), qemu-i386-static for 32-bit Linux (cmake/i686.cmake). The build
# sets, before it includes this file:
#   DUSTWEAVE_RUNNER        the command that starts one of its programs (a list; tests are given
#                           DUSTWEAVE_RUN_PROGRAM, one script that runs it)
#   DUSTWEAVE_RUNNER_NAME   how test names say it ("wine win64", "qemu i686")
#   DUSTWEAVE_RUNNER_GUARD  a command put before each test that starts the build's programs: it
#                           runs the test, or, where this machine cannot start them at all, says
#                           why on one line and ends with DUSTWEAVE_SKIPPED (empty: none needed)
#   DUSTWEAVE_RUNNER_LOCK   a fixture and lock name: its setup test runs first, and the tests one
#                           at a time (empty: none)
include_guard(GLOBAL)

set(DUSTWEAVE_SKIPPED 77)  # the exit status CTest reports as "Skipped"

# DUSTWEAVE_RUN_PROGRAM: one script that starts any program of the build through the runner, so
# that the runner travels as one word (in -D options, CTest's commands, the tests' own runs).
set(DUSTWEAVE_RUN_PROGRAM ${CMAKE_BINARY_DIR}/run-program)
set(words)
foreach(word ${DUSTWEAVE_RUNNER})
  string(APPEND words " '${word}'")
endforeach()
file(WRITE ${DUSTWEAVE_RUN_PROGRAM}.new
     "#!/bin/sh\n# Starts a program of this build (${DUSTWEAVE_RUNNER_NAME}): run-program PROGRAM [ARGS...]\n"
     "exec${words} \"$@\"\n")
file(COPY_FILE ${DUSTWEAVE_RUN_PROGRAM}.new ${DUSTWEAVE_RUN_PROGRAM} ONLY_IF_DIFFERENT)
file(REMOVE ${DUSTWEAVE_RUN_PROGRAM}.new)
file(CHMOD ${DUSTWEAVE_RUN_PROGRAM} PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
     GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${DUSTWEAVE_RUN_PROGRAM})
# GoogleTest suites run whole, one runner start a suite (cmake/emulated/GoogleTest.cmake).
list(PREPEND CMAKE_MODULE_PATH ${CMAKE_CURRENT_LIST_DIR}/emulated)

# Marks a test as one that starts the build's programs: skipped where they cannot run, after the
# runner's setup and under its lock.
function(dustweave_runner_properties name)
  if(DUSTWEAVE_RUNNER_GUARD)
    set_property(TEST ${name} PROPERTY SKIP_RETURN_CODE ${DUSTWEAVE_SKIPPED})
  endif()
  if(DUSTWEAVE_RUNNER_LOCK)
    set_property(TEST ${name} APPEND PROPERTY FIXTURES_REQUIRED ${DUSTWEAVE_RUNNER_LOCK})
    set_property(TEST ${name} APPEND PROPERTY RESOURCE_LOCK ${DUSTWEAVE_RUNNER_LOCK})
  endif()
endfunction()

# add_test(NAME name COMMAND ... [WORKING_DIRECTORY dir]) for a test that starts the build's
# programs: a target of this build named first is started through the runner, the whole behind
# the guard.
function(dustweave_add_runner_test)
  cmake_parse_arguments(ARG "" "NAME;WORKING_DIRECTORY" "COMMAND" ${ARGN})
  set(command ${ARG_COMMAND})
  list(GET command 0 first)
  if(TARGET ${first})
    list(POP_FRONT command)
    list(PREPEND command ${DUSTWEAVE_RUN_PROGRAM} $<TARGET_FILE:${first}>)
  endif()
  if(NOT ARG_WORKING_DIRECTORY)
    set(ARG_WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
  endif()
  add_test(NAME ${ARG_NAME} COMMAND ${DUSTWEAVE_RUNNER_GUARD} ${command}
           WORKING_DIRECTORY ${ARG_WORKING_DIRECTORY})
  dustweave_runner_properties(${ARG_NAME})
endfunction()
