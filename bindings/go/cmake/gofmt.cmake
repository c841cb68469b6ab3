# gofmt -l lists the files whose layout differs from gofmt's; there must be none.
execute_process(COMMAND ${GOFMT} -l . WORKING_DIRECTORY ${SOURCE_DIR}
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0 OR NOT out STREQUAL "")
  message(FATAL_ERROR "gofmt -l (${rc}) lists files to reformat with gofmt -w:\n${out}${err}")
endif()
