# Corpus files that break the schema are refused, each with a message that names the file and the
# case, and the run fails; a file of good cases alongside is still run.
file(REMOVE_RECURSE ${SCRATCH})
file(MAKE_DIRECTORY ${SCRATCH})

# A good case, taken from the corpus, to break one way at a time.
file(READ ${VECTORS}/epoch_verify.json corpus)
string(JSON good GET ${corpus} cases 0)
string(JSON good_name GET ${good} name)

function(expect_refused file case text)
  file(WRITE ${SCRATCH}/${file} "${text}")
  execute_process(COMMAND ${RUNNER} ${SCRATCH}/${file} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(rc EQUAL 0)
    message(FATAL_ERROR "${file} was accepted:\n${out}")
  endif()
  string(FIND "${out}" "REFUSED ${file}: ${case}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "${file}: no refusal naming '${case}':\n${out}${err}")
  endif()
  message(STATUS "refused as expected: ${file}: ${case}")
  file(REMOVE ${SCRATCH}/${file})
endfunction()

set(head "{\"export\": \"vesk_epoch_verify\", \"version\": \"1\", \"cases\": [")
string(JSON bad_status SET ${good} expect status "\"VESK_FINE\"")
string(JSON bad_status SET ${bad_status} name "\"unknown-status\"")
expect_refused(epoch_verify.json "case 'unknown-status'" "${head}${good},${bad_status}]}")

string(JSON no_input REMOVE ${good} inputs chain)
string(JSON no_input SET ${no_input} name "\"input-missing\"")
expect_refused(epoch_verify.json "case 'input-missing'" "${head}${no_input}]}")

string(JSON odd_hex SET ${good} inputs chain "{\"hex\": \"8\"}")
string(JSON odd_hex SET ${odd_hex} name "\"odd-hex\"")
expect_refused(epoch_verify.json "case 'odd-hex'" "${head}${odd_hex}]}")

string(JSON no_output SET ${good} expect outputs "{}")
string(JSON no_output SET ${no_output} name "\"output-missing\"")
expect_refused(epoch_verify.json "case 'output-missing'" "${head}${no_output}]}")

string(JSON big_number SET ${good} expect outputs epoch_count_out "9007199254740993")
string(JSON big_number SET ${big_number} name "\"number-past-2-53\"")
expect_refused(epoch_verify.json "case 'number-past-2-53'" "${head}${big_number}]}")

string(JSON extra_key SET ${good} comment "\"hand-edited\"")
string(JSON extra_key SET ${extra_key} name "\"extra-key\"")
expect_refused(epoch_verify.json "case 'extra-key'" "${head}${extra_key}]}")

string(JSON upper SET ${good} name "\"Upper-Case\"")
expect_refused(epoch_verify.json "case 'Upper-Case'" "${head}${upper}]}")

expect_refused(epoch_verify.json "case '${good_name}'" "${head}${good},${good}]}")
expect_refused(verify_epochs.json "the file of vesk_epoch_verify must be named" "${head}${good}]}")
expect_refused(epoch_verify.json "unknown export" "{\"export\": \"vesk_epoch_check\", \"version\": \"1\", \"cases\": [${good}]}")
expect_refused(epoch_verify.json "not JSON" "${head}${good}")
