# SPDX-License-Identifier: GPL-3.0-or-later
# Run after a test executable is built: asks it for its test functions (-functions) and
# writes one ctest test per function, so that ctest counts and reports every case.
# Inputs: EXE, NAME, OUT, LABELS.
set(ENV{QT_QPA_PLATFORM} offscreen)
execute_process(COMMAND "${EXE}" -functions
                OUTPUT_VARIABLE listing RESULT_VARIABLE rc ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${EXE} -functions failed (${rc}): ${err}")
endif()
string(REPLACE "\n" ";" lines "${listing}")
set(content "")
foreach(line IN LISTS lines)
    string(STRIP "${line}" line)
    if(line MATCHES "^([A-Za-z_][A-Za-z0-9_]*)\\(\\)$")
        set(fn "${CMAKE_MATCH_1}")
        string(APPEND content "add_test([=[${NAME}.${fn}]=] [=[${EXE}]=] [=[${fn}]=])\n")
        string(APPEND content "set_tests_properties([=[${NAME}.${fn}]=] PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen LABELS [=[${LABELS}]=] TIMEOUT 300)\n")
    endif()
endforeach()
file(WRITE "${OUT}" "${content}")
