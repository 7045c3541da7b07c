# Runs PROGRAM with ARGS (a ;-list). Passes when a variable EXPECT_<exit code> exists and the
# program's output (stdout then stderr) matches it as a regular expression.
execute_process(COMMAND ${PROGRAM} ${ARGS}
    RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE err)
message("exit code ${code}\n${out}${err}")
if(NOT DEFINED EXPECT_${code})
    message(FATAL_ERROR "unexpected exit code ${code}")
endif()
if(NOT "${out}${err}" MATCHES "${EXPECT_${code}}")
    message(FATAL_ERROR "output does not match: ${EXPECT_${code}}")
endif()
