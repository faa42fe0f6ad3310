#pragma once

#include "engine/ModuleParams.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

struct CFormMembers;

// What a parameter is, which also fixes its JSON type in a configuration file.
enum class EParamKind : uint8_t {
    Text,         // GBK text with a byte limit; JSON text
    Baud,         // one of the module's rates; JSON number (or a text of digits)
    Choice,       // an entry of a list, by index; JSON as its choices write it
    Switch,       // a check box; JSON true or false
    Group,        // four numbers set together, each up to a limit; JSON object of numbers
    LocalAddress, // the module's own address: reported, kept beside the record, never set
};

// How a parameter's set line decides whether it goes out.
enum class ESetRule : uint8_t {
    IfChanged,      // when the line's values differ from the last-read ones
    IfChangedOrOff, // the same, and the bound address is cleared whenever binding is off
    WithAuth,       // changed, and only with authentication on and a password given
    WhileBinding,   // changed and binding on; never counts as read (only a reading says so)
};

// A named value of a choice or a switch, as the list (index), the command line and the file
// write it.
struct CParamChoice
{
    int32_t nIndex;
    const char *pszWord; // on the command line
    const char *pszJson; // JSON text in a configuration file
};

// One number of a group of four.
struct CParamMember
{
    const char *pszKey; // in the group's JSON object
    std::string ModuleParams::*pField;
    uint32_t CFormMembers::*pFormValue;
    int nId;
    int nTab; // place in the form's exchange order
    const char *pszDefault;
    uint32_t nSliderOn; // what the group's switch slider puts in, on and off
    uint32_t nSliderOff;
};

// One parameter of the module, as every part of the tool sees it.
struct CParamRow
{
    const char *pszKey; // in a configuration file's "params", which lists them in table order
    EParamKind eKind;
    std::string ModuleParams::*pText = nullptr; // Text, Baud
    int32_t ModuleParams::*pInt = nullptr;      // Choice, Switch
    std::span<const CParamMember> members = {}; // Group
    std::span<const CParamChoice> choices = {}; // Choice, Switch
    // The form: the control (a group: its slider), the member a text edit exchanges, and the
    // edit's place in the exchange order (-1: not exchanged).
    int nId = 0;
    bool bCheckBox = false; // Choice, Switch: a check box rather than a list
    std::string CFormMembers::*pFormText = nullptr;
    int nTab = -1;
    size_t nMaxBytes = 0;   // Text: the most GBK bytes the form takes, 0 no limit
    uint32_t nMaxValue = 0; // Group: the largest number of each member
    // The command line; no option: the parameter cannot be set.
    const char *pszOption = nullptr;
    const char *pszOptionValue = nullptr; // what --help shows after it (choices: their words)
    const char *pszOptionHelp = nullptr;  // its own help line, if any
    int nHelpOrder = 0;
    // What "默认" puts in: the text, the list entry's prefix, or the check state ("0", "1").
    const char *pszDefault = nullptr;
    // The set line: its place in the list, the place of this value in the line, the command.
    int nSetLine = -1;
    int nSetArg = 0;
    const char *pszSetCommand = nullptr;
    ESetRule eSetRule = ESetRule::IfChanged;

    bool IsSettable() const { return pszOption != nullptr; }
};

constexpr int PARAM_ROW_COUNT = 14;
constexpr int SET_LINE_KINDS = 11; // distinct places of set lines in the list
extern const CParamRow ParamTable[PARAM_ROW_COUNT];

// The row by configuration-file key, by record field (a group's member fields find the group)
// or by control id (a group's slider finds the group); nullptr when none.
const CParamRow *FindParam(const std::string &strKey);
const CParamRow &ParamOf(std::string ModuleParams::*pField);
const CParamRow &ParamOf(int32_t ModuleParams::*pField);
const CParamRow *FindParamByControl(int nId);

// The bit of a row in masks of rows (set requests, set lines).
uint32_t ParamBit(const CParamRow &row);

// The settable rows in the order --help lists their options.
std::vector<const CParamRow *> ParamsInHelpOrder();

// An edit of the form in the exchange order: a text (pText) or a number (pNumber).
struct CFormField
{
    int nId;
    std::string CFormMembers::*pText;
    uint32_t CFormMembers::*pNumber;
    size_t nMaxBytes;
    uint32_t nMaxValue;
};
const std::vector<CFormField> &FormFieldsInTabOrder();

// The most GBK bytes the edit nId takes; 0: no limit.
size_t FieldByteLimit(int nId);

// The words (or the JSON texts) a choice takes, joined: "none, odd or even", "none|odd|even".
std::string ChoiceList(const CParamRow &row, bool bJson, const char *pszSeparator,
                       const char *pszLast);

// Copies one parameter's field (a group: its four) from one record to another.
void CopyParam(const CParamRow &row, const ModuleParams &from, ModuleParams &to);

// A parameter's value as its set line writes it: the text, the index in decimal, or a group's
// four numbers joined by commas.
std::string ParamValueText(const CParamRow &row, const ModuleParams &params);
