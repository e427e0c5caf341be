# The same command with the same answers, once through the native dustweave with the Linux module
# and once through this build's dustweave under wine with its .p: the two OBJ files and summary
# lines must be the same byte for byte. Run by ctest with cmake -P and these -D variables:
# NATIVE_BUILD (holds dustweave and mirod_dustweave.so), PROGRAM, MODULE, WINE_RUN (what starts PROGRAM), WORK.
cmake_minimum_required(VERSION 3.25)

set(native_program ${NATIVE_BUILD}/dustweave)
set(native_module ${NATIVE_BUILD}/mirod_dustweave.so)
foreach(needed ${native_program} ${native_module} ${PROGRAM} ${MODULE})
  if(NOT EXISTS ${needed})
    message(FATAL_ERROR "missing ${needed}: build the native tree and this one first (make)")
  endif()
endforeach()
get_filename_component(module_name ${MODULE} NAME)
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})

# One set of answers on one file: both runs, then the comparison.
function(compare_case name file)
  set(native_obj ${WORK}/${name}.native.obj)
  set(windows_obj ${WORK}/${name}.windows.obj)
  execute_process(COMMAND ${native_program} run ${native_module} --file ${file} --obj ${native_obj} ${ARGN}
                  RESULT_VARIABLE native_status OUTPUT_VARIABLE native_line ERROR_VARIABLE native_err)
  execute_process(COMMAND ${WINE_RUN} ${PROGRAM} run ${MODULE} --file ${file} --obj ${windows_obj} ${ARGN}
                  RESULT_VARIABLE windows_status OUTPUT_VARIABLE windows_line ERROR_VARIABLE windows_err)
  string(REPLACE "\r\n" "\n" windows_line "${windows_line}")
  if(NOT native_status EQUAL 0 OR NOT windows_status EQUAL 0)
    message(FATAL_ERROR "${name}: status ${native_status} natively, ${windows_status} under wine\n"
                        "${native_err}${windows_err}")
  endif()
  if(NOT native_line STREQUAL windows_line)
    message(FATAL_ERROR "${name}: the summaries differ:\n  native: ${native_line}  wine:   ${windows_line}")
  endif()
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${native_obj} ${windows_obj}
                  RESULT_VARIABLE differ)
  if(NOT differ EQUAL 0)
    message(FATAL_ERROR "${name}: ${windows_obj} differs from ${native_obj}")
  endif()
  file(SIZE ${native_obj} bytes)
  string(STRIP "${native_line}" summary)
  message(STATUS "${name}: ${summary}; OBJ of ${bytes} bytes the same from ${module_name} and mirod_dustweave.so")
endfunction()

include(${CMAKE_CURRENT_LIST_DIR}/../compare_inputs.cmake)

compare_case(typical-run ${typical} --step 0.25)
compare_case(start-polygon-second-surface ${typical} --step 0.25 --start-poly --surfaces A,B --pick 1)
compare_case(tenth-past-index-limit ${jumping} --step 0.1 --start-poly --surfaces Dust)
