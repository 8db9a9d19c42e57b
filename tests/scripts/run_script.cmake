# cmake -DRUNNER=... -DARCHIVE=... -DSCRIPT=... -DSTATUS=N
#       [-DEXPECT_STDERR=TEXT] [-DTWICE=ON] -P run_script.cmake
function(run_once out_var)
    execute_process(
        COMMAND ${RUNNER} --archive ${ARCHIVE} ${SCRIPT}
        RESULT_VARIABLE status
        OUTPUT_VARIABLE out
        ERROR_VARIABLE err)
    if(NOT "${status}" STREQUAL "${STATUS}")
        message(FATAL_ERROR "${SCRIPT} ended with ${status}, not ${STATUS}\nstdout:\n${out}\nstderr:\n${err}")
    endif()
    if(NOT "${EXPECT_STDERR}" STREQUAL "")
        string(FIND "${err}" "${EXPECT_STDERR}" at)
        if(at EQUAL -1)
            message(FATAL_ERROR "standard error lacks \"${EXPECT_STDERR}\":\n${err}")
        endif()
    endif()
    set(${out_var} "${out}" PARENT_SCOPE)
endfunction()

run_once(first)
if(TWICE)
    run_once(second)
    if(first STREQUAL "")
        message(FATAL_ERROR "the script printed nothing")
    endif()
    if(NOT first STREQUAL second)
        message(FATAL_ERROR "two runs printed different lines:\n${first}\n---\n${second}")
    endif()
endif()
