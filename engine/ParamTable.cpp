#include "engine/ParamTable.h"

#include "engine/ControlIds.h"
#include "engine/FormMembers.h"
#include "protocol/AtProtocol.h"

#include <algorithm>
#include <cassert>
#include <limits>

namespace {

using E = CFormMembers;
using P = ModuleParams;

constexpr CParamChoice kParity[] = {
    {0, "none", "\"none\""}, {1, "odd", "\"odd\""}, {2, "even", "\"even\""}};
constexpr CParamChoice kStopBits[] = {{0, "1", "1"}, {1, "2", "2"}};
constexpr CParamChoice kRole[] = {{1, "master", "\"master\""}, {0, "slave", "\"slave\""}};
constexpr CParamChoice kOnOff[] = {{1, "on", "true"}, {0, "off", "false"}};

// Connection interval and duration, inquiry interval and duration; the slider's "on" is the
// module's power-saving timing.
constexpr CParamMember kScan[4] = {{"conn_interval", &P::ConnInterval, &E::m_nConnInterval,
                                    IDC_EDIT_CONN_INTERVAL, 3, "1024", 2048, 1024},
                                   {"conn_duration", &P::ConnDuration, &E::m_nConnDuration,
                                    IDC_EDIT_CONN_DURATION, 4, "512", 18, 512},
                                   {"inq_interval", &P::InqInterval, &E::m_nInqInterval,
                                    IDC_EDIT_INQ_INTERVAL, 5, "1024", 2048, 1024},
                                   {"inq_duration", &P::InqDuration, &E::m_nInqDuration,
                                    IDC_EDIT_INQ_DURATION, 6, "512", 18, 512}};

// The form tabs through the timeout before the attempts.
constexpr CParamMember kSniff[4] = {
    {"max", &P::SniffMax, &E::m_nSniffMax, IDC_EDIT_SNIFF_MAX, 7, "0", 800, 0},
    {"min", &P::SniffMin, &E::m_nSniffMin, IDC_EDIT_SNIFF_MIN, 8, "0", 80, 0},
    {"attempt", &P::SniffAttempt, &E::m_nSniffAttempt, IDC_EDIT_SNIFF_ATTEMPT, 10, "0", 8, 0},
    {"timeout", &P::SniffTimeout, &E::m_nSniffTimeout, IDC_EDIT_SNIFF_TIMEOUT, 9, "0", 8, 0}};

constexpr char kGbkNone[] = "\xce\xde"; // GBK: how the parity list's first entry (none) begins

} // namespace

// In the order a configuration file lists the keys.
const CParamRow ParamTable[PARAM_ROW_COUNT] = {
    {.pszKey = "name",
     .eKind = EParamKind::Text,
     .pText = &P::Name,
     .nId = IDC_EDIT_NAME,
     .pFormText = &E::m_strName,
     .nTab = 0,
     .nMaxBytes = 20,
     .pszOption = "--name",
     .pszOptionValue = "TEXT",
     .nHelpOrder = 0,
     .pszDefault = "CORVA3264",
     .nSetLine = 0,
     .pszSetCommand = CMD_SET_NAME},
    {.pszKey = "version", .eKind = EParamKind::Text, .pText = &P::Version, .nId = IDC_EDIT_VERSION},
    {.pszKey = "class",
     .eKind = EParamKind::Text,
     .pText = &P::Class,
     .nId = IDC_EDIT_CLASS,
     .pFormText = &E::m_strClass,
     .nTab = 1,
     .nMaxBytes = 6,
     .pszOption = "--class",
     .pszOptionValue = "6DIGITS",
     .nHelpOrder = 1,
     .pszDefault = "000000",
     .nSetLine = 1,
     .pszSetCommand = CMD_SET_CLASS},
    {.pszKey = "baud",
     .eKind = EParamKind::Baud,
     .pText = &P::Baud,
     .nId = IDC_COMBO_BAUD,
     .pszOption = "--baud",
     .pszOptionValue = "RATE",
     .nHelpOrder = 2,
     .pszDefault = "9600",
     .nSetLine = 2,
     .pszSetCommand = CMD_SET_BAUD},
    // The module takes and reports the stop bits before the parity, in one line.
    {.pszKey = "parity",
     .eKind = EParamKind::Choice,
     .pInt = &P::Parity,
     .choices = kParity,
     .nId = IDC_COMBO_PARITY,
     .pszOption = "--parity",
     .nHelpOrder = 3,
     .pszDefault = kGbkNone,
     .nSetLine = 3,
     .nSetArg = 1,
     .pszSetCommand = CMD_SET_UARTMODE},
    {.pszKey = "stop_bits",
     .eKind = EParamKind::Choice,
     .pInt = &P::StopBits,
     .choices = kStopBits,
     .nId = IDC_COMBO_STOPBITS,
     .pszOption = "--stop-bits",
     .nHelpOrder = 4,
     .pszDefault = "1",
     .nSetLine = 3,
     .nSetArg = 0,
     .pszSetCommand = CMD_SET_UARTMODE},
    {.pszKey = "role",
     .eKind = EParamKind::Choice,
     .pInt = &P::Role,
     .choices = kRole,
     .nId = IDC_CHECK_ROLE,
     .bCheckBox = true,
     .pszOption = "--role",
     .nHelpOrder = 5,
     .pszDefault = "0",
     .nSetLine = 4,
     .pszSetCommand = CMD_SET_ROLE},
    {.pszKey = "bind",
     .eKind = EParamKind::Switch,
     .pInt = &P::Bind,
     .choices = kOnOff,
     .nId = IDC_CHECK_BIND,
     .bCheckBox = true,
     .pszOption = "--bind",
     .nHelpOrder = 6,
     .pszDefault = "0",
     .nSetLine = 5,
     .pszSetCommand = CMD_SET_BIND,
     .eSetRule = ESetRule::IfChangedOrOff},
    {.pszKey = "auth",
     .eKind = EParamKind::Switch,
     .pInt = &P::Auth,
     .choices = kOnOff,
     .nId = IDC_CHECK_AUTH,
     .bCheckBox = true,
     .pszOption = "--auth",
     .nHelpOrder = 8,
     .pszDefault = "1",
     .nSetLine = 6,
     .pszSetCommand = CMD_SET_AUTH},
    {.pszKey = "password",
     .eKind = EParamKind::Text,
     .pText = &P::Password,
     .nId = IDC_EDIT_PASSWORD,
     .pFormText = &E::m_strPassword,
     .nTab = 2,
     .nMaxBytes = 16,
     .pszOption = "--password",
     .pszOptionValue = "TEXT",
     .nHelpOrder = 9,
     .pszDefault = "7391",
     .nSetLine = 7,
     .pszSetCommand = CMD_SET_PASSWORD,
     .eSetRule = ESetRule::WithAuth},
    {.pszKey = "scan",
     .eKind = EParamKind::Group,
     .members = kScan,
     .nId = IDC_SLIDER_SCAN,
     .nMaxValue = 4096,
     .pszOption = "--scan",
     .pszOptionValue = "a,b,c,d",
     .pszOptionHelp = "connection interval, duration, inquiry interval, duration",
     .nHelpOrder = 10,
     .nSetLine = 8,
     .pszSetCommand = CMD_SET_SCANTIME},
    {.pszKey = "sniff",
     .eKind = EParamKind::Group,
     .members = kSniff,
     .nId = IDC_SLIDER_SNIFF,
     .nMaxValue = std::numeric_limits<uint32_t>::max(),
     .pszOption = "--sniff",
     .pszOptionValue = "max,min,attempt,timeout",
     .nHelpOrder = 11,
     .nSetLine = 9,
     .pszSetCommand = CMD_SET_SNIFF},
    {.pszKey = "local_address",
     .eKind = EParamKind::LocalAddress,
     .nId = IDC_EDIT_LOCALADDR,
     .pFormText = &E::m_strLocalAddr,
     .nTab = 12},
    // Learnt only from the module: a found device's entry reads "address name".
    {.pszKey = "bind_address",
     .eKind = EParamKind::Text,
     .pText = &P::BindAddr,
     .nId = IDC_COMBO_BINDADDR,
     .pFormText = &E::m_strBindAddr,
     .nTab = 11,
     .pszOption = "--bind-addr",
     .pszOptionValue = "12CHARS",
     .nHelpOrder = 7,
     .pszDefault = "",
     .nSetLine = 10,
     .pszSetCommand = CMD_SET_RADDR,
     .eSetRule = ESetRule::WhileBinding},
};

const CParamRow *FindParam(const std::string &strKey)
{
    for (const CParamRow &row : ParamTable) {
        if (strKey == row.pszKey)
            return &row;
    }
    return nullptr;
}

const CParamRow &ParamOf(std::string ModuleParams::*pField)
{
    for (const CParamRow &row : ParamTable) {
        if (row.pText == pField)
            return row;
        for (const CParamMember &member : row.members) {
            if (member.pField == pField)
                return row;
        }
    }
    assert(false && "every text field of the record has a row");
    return ParamTable[0];
}

const CParamRow &ParamOf(int32_t ModuleParams::*pField)
{
    for (const CParamRow &row : ParamTable) {
        if (row.pInt == pField)
            return row;
    }
    assert(false && "every number field of the record has a row");
    return ParamTable[0];
}

const CParamRow *FindParamByControl(int nId)
{
    for (const CParamRow &row : ParamTable) {
        if (row.nId == nId)
            return &row;
    }
    return nullptr;
}

uint32_t ParamBit(const CParamRow &row)
{
    return 1u << static_cast<unsigned>(&row - ParamTable);
}

std::vector<const CParamRow *> ParamsInHelpOrder()
{
    std::vector<const CParamRow *> rows;
    for (const CParamRow &row : ParamTable) {
        if (row.IsSettable())
            rows.push_back(&row);
    }
    std::stable_sort(rows.begin(), rows.end(), [](const CParamRow *a, const CParamRow *b) {
        return a->nHelpOrder < b->nHelpOrder;
    });
    return rows;
}

const std::vector<CFormField> &FormFieldsInTabOrder()
{
    static const std::vector<CFormField> kFields = [] {
        std::vector<std::pair<int, CFormField>> fields;
        for (const CParamRow &row : ParamTable) {
            if (row.pFormText)
                fields.push_back({row.nTab, {row.nId, row.pFormText, nullptr, row.nMaxBytes, 0}});
            for (const CParamMember &member : row.members)
                fields.push_back(
                    {member.nTab, {member.nId, nullptr, member.pFormValue, 0, row.nMaxValue}});
        }
        std::sort(fields.begin(), fields.end(),
                  [](const auto &a, const auto &b) { return a.first < b.first; });
        std::vector<CFormField> ordered;
        for (const auto &field : fields)
            ordered.push_back(field.second);
        return ordered;
    }();
    return kFields;
}

size_t FieldByteLimit(int nId)
{
    const CParamRow *pRow = FindParamByControl(nId);
    return pRow != nullptr && pRow->eKind == EParamKind::Text ? pRow->nMaxBytes : 0;
}

std::string ChoiceList(const CParamRow &row, bool bJson, const char *pszSeparator,
                       const char *pszLast)
{
    std::string strList;
    for (size_t i = 0; i < row.choices.size(); ++i) {
        if (i != 0)
            strList += i + 1 == row.choices.size() ? pszLast : pszSeparator;
        strList += bJson ? row.choices[i].pszJson : row.choices[i].pszWord;
    }
    return strList;
}

void CopyParam(const CParamRow &row, const ModuleParams &from, ModuleParams &to)
{
    if (row.pText)
        to.*row.pText = from.*row.pText;
    if (row.pInt)
        to.*row.pInt = from.*row.pInt;
    for (const CParamMember &member : row.members)
        to.*member.pField = from.*member.pField;
}

std::string ParamValueText(const CParamRow &row, const ModuleParams &params)
{
    if (row.pText)
        return params.*row.pText;
    if (row.pInt)
        return std::to_string(params.*row.pInt);
    std::string strText;
    for (size_t i = 0; i < row.members.size(); ++i)
        strText += (i == 0 ? "" : ",") + params.*row.members[i].pField;
    return strText;
}
