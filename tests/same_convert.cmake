# `dustweave convert` of another build (Windows under wine, 32-bit Linux under qemu), finding its
# own module beside it, against the native dustweave with the Linux module beside it: for the same
# input and options both must exit alike, print the same summary and write the same bytes, as
# .obj, as .glb and as .usdc (which USD itself opens in the native suite). Run by ctest with cmake -P and these -D variables: NATIVE_BUILD (holds
# dustweave and mirod_dustweave.so), PROGRAM (the other build's dustweave, its module beside it),
# RUNNER (what starts PROGRAM), RUNNER_NAME ("wine", "qemu"), WORK.
cmake_minimum_required(VERSION 3.25)

set(native_program ${NATIVE_BUILD}/dustweave)
get_filename_component(program_dir ${PROGRAM} DIRECTORY)
file(GLOB other_module ${program_dir}/mirod_dustweave*.p ${program_dir}/mirod_dustweave.so)
foreach(needed ${native_program} ${NATIVE_BUILD}/mirod_dustweave.so ${PROGRAM} ${other_module})
  if(NOT EXISTS ${needed})
    message(FATAL_ERROR "missing ${needed}: build the native tree and this one first (make)")
  endif()
endforeach()
if(NOT other_module)
  message(FATAL_ERROR "no mirod_dustweave module beside ${PROGRAM}")
endif()
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK}/native ${WORK}/other)

# One conversion, natively and through the runner, each in its own folder under the same name.
function(compare_case output expected_status file)
  execute_process(COMMAND ${native_program} convert ${file} ${output} ${ARGN}
                  WORKING_DIRECTORY ${WORK}/native
                  RESULT_VARIABLE native_status OUTPUT_VARIABLE native_line ERROR_VARIABLE native_err)
  execute_process(COMMAND ${RUNNER} ${PROGRAM} convert ${file} ${output} ${ARGN}
                  WORKING_DIRECTORY ${WORK}/other
                  RESULT_VARIABLE other_status OUTPUT_VARIABLE other_line ERROR_VARIABLE other_err)
  string(REPLACE "\r\n" "\n" other_line "${other_line}")
  if(NOT native_status EQUAL expected_status OR NOT other_status EQUAL expected_status)
    message(FATAL_ERROR "${output}: status ${native_status} natively, ${other_status} under ${RUNNER_NAME} "
                        "(expected ${expected_status})\n${native_err}${other_err}")
  endif()
  if(NOT native_line STREQUAL other_line)
    message(FATAL_ERROR "${output}: the summaries differ:\n  native: ${native_line}  ${RUNNER_NAME}: ${other_line}")
  endif()
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${WORK}/native/${output} ${WORK}/other/${output}
                  RESULT_VARIABLE differ)
  if(NOT differ EQUAL 0)
    message(FATAL_ERROR "${output}: the file written under ${RUNNER_NAME} differs from the native one")
  endif()
  file(SIZE ${WORK}/native/${output} bytes)
  string(STRIP "${native_line}" summary)
  message(STATUS "${summary}: ${bytes} bytes, the same natively and under ${RUNNER_NAME}")
endfunction()

include(${CMAKE_CURRENT_LIST_DIR}/compare_inputs.cmake)
set(cut ${WORK}/cut.pfx)  # ends inside a sample
execute_process(COMMAND head -c 100003 ${typical} OUTPUT_FILE ${cut} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "could not cut ${typical}")
endif()

foreach(format obj glb usdc)
  compare_case(typical.${format} 0 ${typical} --step 0.25)
  compare_case(start-polygon.${format} 0 ${typical} --step 0.25 --start-poly --surface Dust)
  compare_case(tenth-past-index-limit.${format} 0 ${jumping} --step 0.1 --start-poly)
  compare_case(cut.${format} 1 ${cut})
endforeach()
