# The resource script reader (cmake/RcToCpp.cmake) on small scripts: what it puts in the table,
# and the scripts it refuses, each with the reason it gives.
#   cmake -DGENERATOR=cmake/RcToCpp.cmake -DWORK_DIR=... -P rc_to_cpp_test.cmake
cmake_minimum_required(VERSION 3.25)
set(dialog "IDD_ABOUTBOX DIALOGEX 0, 0, 100, 50\nCAPTION \"C\"\nFONT 9, \"F\"\nBEGIN\n")

# Case name => one control statement => what the table or the refusal must say.
set(cases
    "trailing blanks => GROUPBOX \"Group   \", -1, 1, 2, 3, 4 => QT_TRANSLATE_NOOP(\"About\", \"Group\"), 3,"
    "doubled quotes => LTEXT \"Say \"\"hi\"\", then go\", -1, 1, 2, 3, 4 => \"Say \\\"hi\\\", then go\"), 0,"
    "continued line => EDITTEXT IDC_EDIT_NAME, 1, 2, 3, 4, ES_NUMBER |\n  WS_DISABLED => IDC_EDIT_NAME, 1, 2, 3, 4, RcStyle::kEsNumber | RcStyle::kWsDisabled}"
    "NOT takes a flag back => COMBOBOX IDC_COMBO_BAUD, 1, 2, 3, 4, CBS_SORT | NOT CBS_SORT => IDC_COMBO_BAUD, 1, 2, 3, 4, 0}"
    "class macro => CONTROL \"\", IDC_SLIDER_SCAN, TRACKBAR_CLASS, TBS_NOTICKS, 1, 2, 3, 4 => \"msctls_trackbar32\""
    "picture by name => ICON IDR_MAINFRAME, -1, 7, 7 => \"IDR_MAINFRAME\", -1, 7, 7, 0, 0, 0}"
    "bare number => EDITTEXT 1021, 1, 2, 3, 4 => control 1021 needs a named id"
    "static id on a button => PUSHBUTTON \"Go\", -1, 1, 2, 3, 4 => control -1 needs a named id"
    "unknown statement => LISTBOX IDC_COMBO_BAUD, 1, 2, 3, 4 => no counterpart for LISTBOX"
    "unknown class => CONTROL \"\", IDC_STATUS, WC_HEADER, 0, 1, 2, 3, 4 => unknown window class WC_HEADER")

set(failures 0)
foreach(case IN LISTS cases)
    string(REGEX MATCH "^(.*) => (.*) => (.*)$" _ "${case}")
    set(name "${CMAKE_MATCH_1}")
    set(statement "${CMAKE_MATCH_2}")
    set(expected "${CMAKE_MATCH_3}")
    file(WRITE "${WORK_DIR}/case.rc" "${dialog}    ${statement}\nEND\n")
    execute_process(COMMAND ${CMAKE_COMMAND} -DRC_FILE=${WORK_DIR}/case.rc
                            -DCPP_FILE=${WORK_DIR}/case.cpp -P ${GENERATOR}
                    RESULT_VARIABLE result ERROR_VARIABLE errors OUTPUT_QUIET)
    set(said "${errors}")
    if(result EQUAL 0)
        file(READ "${WORK_DIR}/case.cpp" said)
    endif()
    string(REGEX REPLACE "[ \n]+" " " said "${said}") # CMake wraps its messages
    string(FIND "${said}" "${expected}" found)
    if(found LESS 0)
        message(SEND_ERROR "${name}: expected '${expected}' in:\n${said}")
        math(EXPR failures "${failures} + 1")
    endif()
    file(REMOVE "${WORK_DIR}/case.cpp")
endforeach()
if(failures GREATER 0)
    message(FATAL_ERROR "${failures} case(s) failed")
endif()
