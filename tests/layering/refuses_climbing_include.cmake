# The include check passes this checkout, and refuses a scratch tree in which one family reaches
# another through "../" (and one through an absolute path), naming each file.
set(check ${SOURCE_DIR}/cmake/check_includes.cmake)
execute_process(COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${SOURCE_DIR} -P ${check}
                RESULT_VARIABLE rc ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "the checkout itself is refused:\n${err}")
endif()

file(REMOVE_RECURSE ${SCRATCH})
file(WRITE ${SCRATCH}/src/identity/queries.cpp "#include \"identity/queries.h\"\n#include \"../object/decrypt.h\"\n")
file(WRITE ${SCRATCH}/src/format/container.h "#pragma once\n  #  include </usr/include/stdio.h>\n")
file(WRITE ${SCRATCH}/src/core/bytes.h "#pragma once\n#include <cstdint>\n#include \"core/check.h\"\n")
execute_process(COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${SCRATCH} -P ${check}
                RESULT_VARIABLE rc ERROR_VARIABLE err)
if(rc EQUAL 0)
  message(FATAL_ERROR "an include of ../object from src/identity passed the check")
endif()
foreach(named "src/identity/queries.cpp: #include \"../object/decrypt.h\"" "src/format/container.h")
  string(FIND "${err}" "${named}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "the refusal does not name ${named}:\n${err}")
  endif()
endforeach()
string(FIND "${err}" "src/core/bytes.h" at)
if(NOT at EQUAL -1)
  message(FATAL_ERROR "an include within the family's root was refused:\n${err}")
endif()
