# Turns the Qt Linguist catalogue into the compiled table of the Qt-free programs, so that the
# window without Qt and the command line read the same translations as the Qt window.
#   cmake -DTS_FILE=kestrel_en.ts -DCPP_FILE=UiTextCatalogue.cpp -P TsToCpp.cmake
# Only finished translations go in: an unfinished or vanished one shows the source text.
if(NOT TS_FILE OR NOT CPP_FILE)
    message(FATAL_ERROR "TsToCpp.cmake needs TS_FILE and CPP_FILE")
endif()

file(READ "${TS_FILE}" ts)
# CMake lists split at ';': park them (and the brackets that would nest lists) while splitting.
string(REPLACE ";" "@KESTREL_SEMICOLON@" ts "${ts}")
string(REPLACE "[" "@KESTREL_OPEN@" ts "${ts}")
string(REPLACE "]" "@KESTREL_CLOSE@" ts "${ts}")

function(xml_to_cpp_literal text out)
    string(REPLACE "@KESTREL_SEMICOLON@" ";" text "${text}")
    string(REPLACE "@KESTREL_OPEN@" "[" text "${text}")
    string(REPLACE "@KESTREL_CLOSE@" "]" text "${text}")
    string(REPLACE "&lt;" "<" text "${text}")
    string(REPLACE "&gt;" ">" text "${text}")
    string(REPLACE "&quot;" "\"" text "${text}")
    string(REPLACE "&apos;" "'" text "${text}")
    string(REPLACE "&#x0a;" "\n" text "${text}")
    string(REPLACE "&amp;" "&" text "${text}")
    string(REPLACE "\\" "\\\\" text "${text}")
    string(REPLACE "\"" "\\\"" text "${text}")
    string(REPLACE "\n" "\\n" text "${text}")
    string(REPLACE "\r" "" text "${text}")
    set(${out} "\"${text}\"" PARENT_SCOPE)
endfunction()

set(rows "")
set(count 0)
string(REPLACE "<context>" ";" contexts "${ts}")
list(REMOVE_AT contexts 0)
foreach(context IN LISTS contexts)
    string(REGEX MATCH "<name>([^<]*)</name>" _ "${context}")
    xml_to_cpp_literal("${CMAKE_MATCH_1}" context_name)
    string(REPLACE "<message" ";" messages "${context}")
    list(REMOVE_AT messages 0)
    foreach(message IN LISTS messages)
        if(NOT message MATCHES "<source>([^<]*)</source>")
            continue()
        endif()
        set(source "${CMAKE_MATCH_1}")
        if(NOT message MATCHES "<translation>([^<]*)</translation>")
            continue()
        endif()
        set(english "${CMAKE_MATCH_1}")
        if(english STREQUAL "")
            continue()
        endif()
        xml_to_cpp_literal("${source}" source)
        xml_to_cpp_literal("${english}" english)
        string(APPEND rows "    {${context_name}, ${source}, ${english}},\n")
        math(EXPR count "${count} + 1")
    endforeach()
endforeach()

set(cpp "// Generated from ${TS_FILE} by cmake/TsToCpp.cmake; edit the .ts, not this file.
#include \"engine/UiText.h\"

const CUiTextEntry g_UiTextCatalogue[] = {
${rows}    {nullptr, nullptr, nullptr},
};
const int g_nUiTextCatalogueSize = ${count};
")
file(WRITE "${CPP_FILE}" "${cpp}")
