# Reads the dialog templates (DIALOGEX) of the Windows resource script into the table the Qt
# window lays its dialogs out from (qt/DialogTemplate.h), so that one script places the controls
# of both windows. The host's cmake runs it; a cross-build needs nothing more.
#   cmake -DRC_FILE=kestrel.rc -DCPP_FILE=DialogTemplates.cpp -P RcToCpp.cmake
# Ids go into the table by name, for the compiler to resolve; a control with a bare number for
# an id stops the build, as does a statement the table cannot hold.
cmake_minimum_required(VERSION 3.25)
if(NOT RC_FILE OR NOT CPP_FILE)
    message(FATAL_ERROR "RcToCpp.cmake needs RC_FILE and CPP_FILE")
endif()

# The catalogue context each dialog's texts are translated in, in both windows.
set(dialog_contexts IDD_ABOUTBOX About IDD_PORTSELECT PortDialog
                    IDD_MODULESETUP_DIALOG MainWindow IDD_TRAFFIC Traffic)
# The style flags the Qt window follows, and the bits it knows them by; others are Win32's alone.
set(style_flags ES_NUMBER kEsNumber ES_READONLY kEsReadOnly CBS_DROPDOWN kCbsDropDown
                CBS_DROPDOWNLIST kCbsDropDownList CBS_SORT kCbsSort WS_DISABLED kWsDisabled
                BS_AUTOCHECKBOX kBsAutoCheckBox BS_OWNERDRAW kBsOwnerDraw TBS_VERT kTbsVert
                TBS_BOTH kTbsBoth TBS_NOTICKS kTbsNoTicks SS_NOPREFIX kSsNoPrefix
                SS_BITMAP kSsBitmap SS_ICON kSsIcon)
# Window classes the script names by their commctrl.h macros.
set(class_macros TRACKBAR_CLASS msctls_trackbar32 WC_BUTTON Button WC_STATIC Static
                 WC_EDIT Edit WC_COMBOBOX ComboBox)
# Statements by the order of their arguments: text first, id first, or CONTROL's own.
# Others have no counterpart in the Qt window yet and stop the build.
set(text_first LTEXT GROUPBOX PUSHBUTTON DEFPUSHBUTTON AUTOCHECKBOX ICON)
set(id_first EDITTEXT COMBOBOX)
set(static_kinds LTEXT GROUPBOX ICON)
# Each statement's name in the table (EControlKind).
set(kind_names LTEXT LText GROUPBOX GroupBox PUSHBUTTON PushButton DEFPUSHBUTTON DefPushButton
               AUTOCHECKBOX AutoCheckBox ICON Icon EDITTEXT EditText COMBOBOX ComboBox
               CONTROL Control)

file(READ "${RC_FILE}" rc)
# CMake lists split at ';': park it (and the brackets that would nest lists) while splitting.
string(REPLACE ";" "@KESTREL_SEMICOLON@" rc "${rc}")
string(REPLACE "[" "@KESTREL_OPEN@" rc "${rc}")
string(REPLACE "]" "@KESTREL_CLOSE@" rc "${rc}")
string(REPLACE "\r" "" rc "${rc}")
string(REPLACE "\n" ";" lines "${rc}")

function(fail line_number message_text)
    message(FATAL_ERROR "${RC_FILE}:${line_number}: ${message_text}")
endfunction()

# Splits a statement's arguments at the commas outside quotes; a quoted text keeps its quotes.
function(split_arguments text line_number out)
    set(arguments "")
    set(rest "${text}")
    while(TRUE)
        string(STRIP "${rest}" rest)
        if(rest MATCHES "^(\"([^\"]|\"\")*\")(.*)$")
            set(argument "${CMAKE_MATCH_1}")
            set(rest "${CMAKE_MATCH_3}")
        elseif(rest MATCHES "^([^,\"]*)(.*)$")
            string(STRIP "${CMAKE_MATCH_1}" argument)
            set(rest "${CMAKE_MATCH_2}")
        endif()
        list(APPEND arguments "${argument}")
        string(STRIP "${rest}" rest)
        if(rest STREQUAL "" OR rest MATCHES "^//")
            break()
        elseif(NOT rest MATCHES "^,(.*)$")
            fail(${line_number} "cannot read the arguments of: ${text}")
        endif()
        set(rest "${CMAKE_MATCH_1}")
    endwhile()
    set(${out} "${arguments}" PARENT_SCOPE)
endfunction()

# A quoted text of the script as C++ source: the text without its trailing blanks, and how many
# blanks there were.
function(text_literal quoted out_text out_blanks)
    string(REGEX REPLACE "^\"(.*)\"$" "\\1" text "${quoted}")
    string(REPLACE "\"\"" "\\\"" text "${text}")
    string(LENGTH "${text}" full_length)
    string(REGEX REPLACE " +$" "" text "${text}")
    string(LENGTH "${text}" text_length)
    math(EXPR blank_count "${full_length} - ${text_length}")
    string(REPLACE "@KESTREL_SEMICOLON@" ";" text "${text}")
    string(REPLACE "@KESTREL_OPEN@" "[" text "${text}")
    string(REPLACE "@KESTREL_CLOSE@" "]" text "${text}")
    set(${out_text} "${text}" PARENT_SCOPE)
    set(${out_blanks} ${blank_count} PARENT_SCOPE)
endfunction()

# The value that follows key in a list of key-value pairs, or nothing.
function(map_value pairs key out)
    list(FIND pairs "${key}" index)
    set(value "")
    if(index GREATER_EQUAL 0)
        math(EXPR index "${index} + 1")
        list(GET pairs ${index} value)
    endif()
    set(${out} "${value}" PARENT_SCOPE)
endfunction()

# "A | B | NOT C" as the bits of the flags the window follows.
function(style_bits style out)
    string(REPLACE "|" ";" words "${style}")
    set(bits "")
    foreach(word IN LISTS words)
        string(STRIP "${word}" word)
        if(word MATCHES "^NOT +([A-Z0-9_]+)$")
            map_value("${style_flags}" "${CMAKE_MATCH_1}" bit)
            list(REMOVE_ITEM bits "RcStyle::${bit}")
        else()
            map_value("${style_flags}" "${word}" bit)
            if(NOT bit STREQUAL "")
                list(APPEND bits "RcStyle::${bit}")
            endif()
        endif()
    endforeach()
    list(JOIN bits " | " joined)
    if(joined STREQUAL "")
        set(joined 0)
    endif()
    set(${out} "${joined}" PARENT_SCOPE)
endfunction()

# The argument at index, or nothing when the statement leaves it out.
function(optional_argument args index out)
    list(LENGTH args count)
    set(argument "")
    if(index LESS count)
        list(GET args ${index} argument)
    endif()
    set(${out} "${argument}" PARENT_SCOPE)
endfunction()

# A statement's arguments by their place, which depends on the statement: sets title, id,
# class, style and box (x, y, width, height) in the caller.
macro(read_statement keyword text line_number)
    split_arguments("${text}" ${line_number} args)
    set(title "")
    set(class "")
    set(style "")
    if("${keyword}" STREQUAL "CONTROL")
        list(LENGTH args count)
        if(count LESS 8)
            fail(${line_number} "CONTROL needs text, id, class, style, x, y, width, height")
        endif()
        list(GET args 0 title)
        list(GET args 1 id)
        list(GET args 2 class)
        list(GET args 3 style)
        list(SUBLIST args 4 4 box)
    elseif("${keyword}" IN_LIST text_first)
        list(GET args 0 title)
        list(GET args 1 id)
        list(SUBLIST args 2 4 box)
        optional_argument("${args}" 6 style)
    elseif("${keyword}" IN_LIST id_first)
        list(GET args 0 id)
        list(SUBLIST args 1 4 box)
        optional_argument("${args}" 5 style)
    else()
        fail(${line_number} "the Qt window has no counterpart for ${keyword}")
    endif()
endmacro()

# A CONTROL's window class, named as a text or by its commctrl.h macro.
function(window_class class line_number out)
    if(class MATCHES "^\"(.*)\"$")
        set(class "${CMAKE_MATCH_1}")
    elseif(NOT class STREQUAL "")
        map_value("${class_macros}" "${class}" name)
        if(name STREQUAL "")
            fail(${line_number} "unknown window class ${class}")
        endif()
        set(class "${name}")
    endif()
    set(${out} "${class}" PARENT_SCOPE)
endfunction()

# A control's id is a name the compiler resolves; only a static may do without one (-1).
function(control_id keyword class id line_number out)
    set(is_static FALSE)
    if(keyword IN_LIST static_kinds OR (keyword STREQUAL "CONTROL" AND class STREQUAL "Static"))
        set(is_static TRUE)
    endif()
    if(id STREQUAL "IDC_STATIC" OR (id STREQUAL "-1" AND is_static))
        set(id -1)
    elseif(NOT id MATCHES "^[A-Za-z_][A-Za-z0-9_]*$")
        fail(${line_number} "control ${id} needs a named id (res/resource.h, engine/ControlIds.h)")
    endif()
    set(${out} "${id}" PARENT_SCOPE)
endfunction()

# A statement's text as the table's text and trailing blanks, or its picture's resource name.
macro(read_title title context)
    set(image "")
    set(blanks 0)
    set(text_source "\"\"")
    if("${title}" MATCHES "^\"")
        text_literal("${title}" text blanks)
        if(NOT text STREQUAL "")
            set(text_source "QT_TRANSLATE_NOOP(\"${context}\", \"${text}\")")
        endif()
    elseif(NOT "${title}" STREQUAL "")
        set(image "${title}")
    endif()
endmacro()

# One control statement as a row of the table.
function(control_row keyword text line_number context out)
    read_statement(${keyword} "${text}" ${line_number})
    window_class("${class}" ${line_number} class)
    control_id(${keyword} "${class}" "${id}" ${line_number} id)
    list(LENGTH box box_count)
    if(keyword STREQUAL "ICON" AND box_count EQUAL 2)
        list(APPEND box 0 0) # an icon takes its own size
    elseif(NOT box_count EQUAL 4)
        fail(${line_number} "${keyword} needs x, y, width and height")
    endif()
    read_title("${title}" "${context}")
    style_bits("${style}" bits)
    string(REPLACE ";" ", " box "${box}")
    map_value("${kind_names}" ${keyword} kind)
    set(${out} "    {EControlKind::${kind}, \"${class}\", ${text_source}, ${blanks}, \"${image}\", ${id}, ${box}, ${bits}},\n" PARENT_SCOPE)
endfunction()

set(tables "")
set(dialogs "")
set(dialog_count 0)
set(dialog "")
set(statement "")
set(line_number 0)
foreach(line IN LISTS lines)
    math(EXPR line_number "${line_number} + 1")
    string(STRIP "${line}" line)
    # A statement continues on the next line after a trailing comma or bar.
    if(NOT statement STREQUAL "")
        string(PREPEND line "${statement} ")
        set(statement "")
    endif()
    if(line MATCHES "^//" OR line MATCHES "^#" OR line STREQUAL "")
        continue()
    endif()
    if(line MATCHES "[,|]$")
        set(statement "${line}")
        continue()
    endif()

    if(line MATCHES "^([A-Za-z_][A-Za-z0-9_]*)[ \t]+DIALOGEX[ \t]+(.*)$")
        set(dialog "${CMAKE_MATCH_1}")
        split_arguments("${CMAKE_MATCH_2}" ${line_number} box)
        list(GET box 2 width)
        list(GET box 3 height)
        map_value("${dialog_contexts}" "${dialog}" context)
        if(context STREQUAL "")
            fail(${line_number} "give ${dialog} a catalogue context in ${CMAKE_CURRENT_LIST_FILE}")
        endif()
        set(caption "\"\"")
        set(font_points 9)
        set(rows "")
        set(control_count 0)
        set(in_body FALSE)
    elseif(dialog STREQUAL "")
        continue() # string tables, the version record: not the table's
    elseif(line MATCHES "^CAPTION[ \t]+(\".*\")$")
        text_literal("${CMAKE_MATCH_1}" text blanks)
        set(caption "QT_TRANSLATE_NOOP(\"${context}\", \"${text}\")")
    elseif(line MATCHES "^FONT[ \t]+([0-9]+)")
        set(font_points ${CMAKE_MATCH_1})
    elseif(line MATCHES "^(BEGIN|{)$")
        set(in_body TRUE)
    elseif(line MATCHES "^(END|})$")
        string(APPEND tables "const CTemplateControl k${dialog}[] = {\n${rows}};\n\n")
        string(APPEND dialogs "    {${dialog}, \"${context}\", ${caption}, ${font_points}, "
                              "${width}, ${height}, k${dialog}, ${control_count}},\n")
        math(EXPR dialog_count "${dialog_count} + 1")
        set(dialog "")
    elseif(in_body AND line MATCHES "^([A-Z]+)[ \t]+(.*)$")
        control_row("${CMAKE_MATCH_1}" "${CMAKE_MATCH_2}" ${line_number} "${context}" row)
        string(APPEND rows "${row}")
        math(EXPR control_count "${control_count} + 1")
    elseif(NOT in_body AND line MATCHES "^(STYLE|EXSTYLE|LANGUAGE|CLASS|MENU)[ \t]")
        continue() # the window's frame: Qt draws its own
    else()
        fail(${line_number} "cannot read: ${line}")
    endif()
endforeach()

file(WRITE "${CPP_FILE}" "// Generated from ${RC_FILE} by cmake/RcToCpp.cmake; edit the resource script, not this file.
#include \"engine/ControlIds.h\"
#include <QtGlobal>
#include \"qt/DialogTemplate.h\"
#include \"res/resource.h\"

namespace {
${tables}} // namespace

const CDialogTemplate g_aDialogTemplates[] = {
${dialogs}};
const int g_nDialogTemplates = ${dialog_count};
")
