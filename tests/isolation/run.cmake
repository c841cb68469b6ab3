# Runs the isolation host twice, in a clean environment and in a hostile one, and requires the same
# results with nothing of the hostile environment touched.
# Variables: HOST, RECORDS (identity demo records), WORK_DIR.
set(hostile ${WORK_DIR}/hostile)
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${hostile}/modules ${hostile}/engines)
# A provider module that must never be loaded, and a configuration that activates it and asks for
# FIPS-only algorithms by default.
file(WRITE ${hostile}/modules/default.so "not a shared object\n")
file(WRITE ${hostile}/modules/fips.so "not a shared object\n")
file(WRITE ${hostile}/openssl.cnf "openssl_conf = openssl_init

[openssl_init]
providers = provider_sect
alg_section = algorithm_sect

[provider_sect]
fips = fips_sect
default = default_sect

[fips_sect]
module = ${hostile}/modules/fips.so
activate = 1

[default_sect]
activate = 0

[algorithm_sect]
default_properties = fips=yes
")

execute_process(
  COMMAND ${CMAKE_COMMAND} -E env --unset=OPENSSL_CONF --unset=OPENSSL_MODULES --unset=OPENSSL_ENGINES
          ${HOST} ${RECORDS}
  RESULT_VARIABLE clean_rc OUTPUT_VARIABLE clean_out ERROR_VARIABLE clean_err)
if(NOT clean_rc EQUAL 0)
  message(FATAL_ERROR "clean run failed (${clean_rc}):\n${clean_err}")
endif()

execute_process(
  COMMAND ${CMAKE_COMMAND} -E env OPENSSL_CONF=${hostile}/openssl.cnf OPENSSL_MODULES=${hostile}/modules
          OPENSSL_ENGINES=${hostile}/engines ${HOST} ${RECORDS}
  RESULT_VARIABLE hostile_rc OUTPUT_VARIABLE hostile_out ERROR_VARIABLE hostile_err)
if(NOT hostile_rc EQUAL 0)
  message(FATAL_ERROR "run in the hostile environment failed (${hostile_rc}):\n${hostile_err}")
endif()
if(NOT hostile_err STREQUAL "")
  message(FATAL_ERROR "the library reported or was seen doing something in the hostile environment:\n${hostile_err}")
endif()
if(NOT clean_out STREQUAL hostile_out)
  message(FATAL_ERROR "results differ:\n--- clean\n${clean_out}\n--- hostile\n${hostile_out}")
endif()
string(LENGTH "${clean_out}" n)
message(STATUS "identical results (${n} characters) in both environments")
