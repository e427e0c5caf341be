# Stands in for CMake's GoogleTest module in the builds whose programs run through a runner (found
# first on the module path, see cmake/emulated.cmake): each suite runs whole as one test, so a
# suite costs one start of wine or qemu rather than one a case, and nothing runs at build time.
# Same calls and options.
include_guard(GLOBAL)

# "unit_tests (wine win64)", or "e2e_tests on mirod_dustweave64.p (wine win64)" for a suite that
# is given a Windows module through DUSTWEAVE_MODULE.
function(_dustweave_suite_name out target prefix suffix properties)
  set(name "${prefix}${target}${suffix}")
  if("${properties}" MATCHES "DUSTWEAVE_MODULE=" AND DEFINED DUSTWEAVE_MODULE_NAME)
    string(APPEND name " on ${DUSTWEAVE_MODULE_NAME}.p")
  endif()
  set(${out} "${name} (${DUSTWEAVE_RUNNER_NAME})" PARENT_SCOPE)
endfunction()

function(_dustweave_suite target)
  cmake_parse_arguments(ARG "NO_PRETTY_TYPES;NO_PRETTY_VALUES;SKIP_DEPENDENCY"
    "TARGET;TEST_PREFIX;TEST_SUFFIX;WORKING_DIRECTORY;TEST_LIST;DISCOVERY_TIMEOUT;XML_OUTPUT_DIR;DISCOVERY_MODE;TEST_FILTER"
    "EXTRA_ARGS;PROPERTIES;SOURCES" ${ARGN})
  _dustweave_suite_name(name ${target} "${ARG_TEST_PREFIX}" "${ARG_TEST_SUFFIX}" "${ARG_PROPERTIES}")
  set(filter)
  if(ARG_TEST_FILTER)
    set(filter "--gtest_filter=${ARG_TEST_FILTER}")
  endif()
  dustweave_add_runner_test(NAME ${name} COMMAND ${target} ${filter} ${ARG_EXTRA_ARGS}
                            WORKING_DIRECTORY ${ARG_WORKING_DIRECTORY})
  if(ARG_PROPERTIES)
    set_tests_properties(${name} PROPERTIES ${ARG_PROPERTIES})
  endif()
  if(ARG_TEST_LIST)
    set(${ARG_TEST_LIST} ${name} PARENT_SCOPE)
  endif()
endfunction()

# Macros, so that TEST_LIST lands in the caller's scope.
macro(gtest_discover_tests target)
  _dustweave_suite(${target} ${ARGN})
endmacro()

macro(gtest_add_tests)
  cmake_parse_arguments(_DUSTWEAVE_GTEST "" "TARGET" "" ${ARGN})
  _dustweave_suite(${_DUSTWEAVE_GTEST_TARGET} ${ARGN})
endmacro()
