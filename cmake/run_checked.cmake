# run(<what> <command> [<arg>...]) for scripts run with cmake -P: runs the command, and stops the
# script with what failed, the exit status and everything the command wrote when it fails. What it
# wrote to standard output is left in last_output.
function(run what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${what} failed (${rc}):\n${out}\n${err}")
  endif()
  set(last_output "${out}" PARENT_SCOPE)
endfunction()
