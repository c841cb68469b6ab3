# The demo records in testdata/records, which the examples read, are what the development aids
# write today, byte for byte. After a change to either aid, write them again:
#   build/release/tools/devgen-identity/devgen-identity bindings/go/testdata/records
#   build/release/tools/devgen/vesk-devgen bindings/go/testdata/records
# RUN_CHECKED: cmake/run_checked.cmake, passed in by the build.
include(${RUN_CHECKED})
file(REMOVE_RECURSE ${SCRATCH})
foreach(tool ${IDENTITY} ${TRANSPARENCY})
  run(${tool} ${tool} ${SCRATCH})
endforeach()
file(GLOB written RELATIVE ${SCRATCH} ${SCRATCH}/*)
file(GLOB kept RELATIVE ${RECORDS} ${RECORDS}/*)
list(SORT written)
list(SORT kept)
if(NOT written STREQUAL kept)
  message(FATAL_ERROR "the aids write ${written}; testdata/records holds ${kept}")
endif()
foreach(name ${written})
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${SCRATCH}/${name} ${RECORDS}/${name} RESULT_VARIABLE differ)
  if(differ)
    message(FATAL_ERROR "testdata/records/${name} differs from what the aids write now; write the records again")
  endif()
endforeach()
list(LENGTH written count)
message(STATUS "${count} records as the aids write them")
