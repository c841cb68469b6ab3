# The interpreter that runs the Python-driven tests (the package's and the tool's) must have pytest
# (Debian's python3-pytest, which scripts/setup-deps installs): Debian's own python3 is tried first,
# whatever comes first on PATH. VESK_PYTHON is empty when none has it.
if(NOT VESK_PYTHON)
  find_program(_vesk_python_on_path NAMES python3)
  foreach(candidate /usr/bin/python3 ${_vesk_python_on_path})
    if(EXISTS ${candidate})
      execute_process(COMMAND ${candidate} -c "import pytest" RESULT_VARIABLE _rc OUTPUT_QUIET ERROR_QUIET)
      if(_rc EQUAL 0)
        set(VESK_PYTHON ${candidate} CACHE FILEPATH "Python interpreter with pytest for the Python-driven tests")
        break()
      endif()
    endif()
  endforeach()
endif()

# Registers a failing test instead of skipping a suite quietly when no interpreter has pytest.
function(vesk_require_pytest suite)
  if(NOT VESK_PYTHON)
    add_test(NAME ${suite}.pytest_missing
      COMMAND ${CMAKE_COMMAND} -E echo "no python3 with pytest found: install python3-pytest (scripts/setup-deps does)")
    set_tests_properties(${suite}.pytest_missing PROPERTIES WILL_FAIL TRUE)
  endif()
endfunction()
