# Checks that a native module exports exactly one defined dynamic symbol, `_mod_descrip`.
# Usage: cmake -DNM=<nm> -DMODULE=<path> -P check_exports.cmake
execute_process(COMMAND ${NM} -D --defined-only ${MODULE}
                OUTPUT_VARIABLE listing RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${NM} failed on ${MODULE}")
endif()
string(REGEX MATCHALL "[^\n]+" lines "${listing}")
set(exported "")
foreach(line ${lines})
  string(REGEX REPLACE "^.* " "" name "${line}")
  list(APPEND exported ${name})
endforeach()
if(NOT exported STREQUAL "_mod_descrip")
  message(FATAL_ERROR "${MODULE} must export only _mod_descrip; it exports: ${exported}")
endif()
message(STATUS "${MODULE} exports only _mod_descrip")
