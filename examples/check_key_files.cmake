# Fails unless the command-line tool (VESK) opens the key file KEY with the passphrase in PASSPHRASE
# and prints exactly the armored public key stored in PUBLIC.
execute_process(COMMAND ${VESK} pubkey ${KEY} --passphrase-file ${PASSPHRASE}
                OUTPUT_VARIABLE armor RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "vesk pubkey ${KEY} failed with ${rc}")
endif()
file(READ ${PUBLIC} expected)
if(NOT armor STREQUAL expected)
  message(FATAL_ERROR "vesk pubkey gave another key than ${PUBLIC}:\n${armor}")
endif()
execute_process(COMMAND ${VESK} inspect ${KEY} OUTPUT_VARIABLE kind RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR NOT kind MATCHES "vesk key file")
  message(FATAL_ERROR "vesk inspect ${KEY}: ${kind}")
endif()
