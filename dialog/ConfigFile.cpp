#include "dialog/ConfigFile.h"

#include "dialog/ParameterWrite.h"
#include "dialog/UiText.h"
#include "protocol/AtProtocol.h"
#include "protocol/GbkText.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>

namespace {

using Json = nlohmann::ordered_json;

enum class EKind { Text, Baud, Parity, StopBits, Role, Flag, Group, LocalAddress };

// One number of a group of four, as the file names it, the record keeps it and the form holds it.
struct CGroupMember
{
    const char *pszKey;
    std::string ModuleParams::*pField;
    uint32_t CSetFormInput::*pInput;
};

constexpr CGroupMember kScanMembers[4] = {
    {"conn_interval", &ModuleParams::ConnInterval, &CSetFormInput::m_nConnInterval},
    {"conn_duration", &ModuleParams::ConnDuration, &CSetFormInput::m_nConnDuration},
    {"inq_interval", &ModuleParams::InqInterval, &CSetFormInput::m_nInqInterval},
    {"inq_duration", &ModuleParams::InqDuration, &CSetFormInput::m_nInqDuration}};
constexpr CGroupMember kSniffMembers[4] = {
    {"max", &ModuleParams::SniffMax, &CSetFormInput::m_nSniffMax},
    {"min", &ModuleParams::SniffMin, &CSetFormInput::m_nSniffMin},
    {"attempt", &ModuleParams::SniffAttempt, &CSetFormInput::m_nSniffAttempt},
    {"timeout", &ModuleParams::SniffTimeout, &CSetFormInput::m_nSniffTimeout}};

// One key of "params": its kind, where the record keeps it, where a request carries it and what
// the form's checks see of it. No request member: it cannot be set and is ignored when read.
struct CParamKey
{
    const char *pszKey;
    EKind eKind;
    std::string ModuleParams::*pText = nullptr;
    int32_t ModuleParams::*pInt = nullptr;
    const CGroupMember *pGroup = nullptr;
    std::optional<std::string> CSetValues::*pSetText = nullptr;
    std::optional<int> CSetValues::*pSetInt = nullptr;
    std::optional<std::vector<std::string>> CSetValues::*pSetGroup = nullptr;
    std::string CSetFormInput::*pInputText = nullptr;
    size_t nMaxBytes = 0;   // texts: the form's limit in GBK bytes, 0 none
    uint32_t nMaxValue = 0; // groups: the largest number the form takes
};

// In the order "query --json" prints them.
const CParamKey kParamKeys[] = {
    {.pszKey = "name",
     .eKind = EKind::Text,
     .pText = &ModuleParams::Name,
     .pSetText = &CSetValues::strName,
     .pInputText = &CSetFormInput::m_strName,
     .nMaxBytes = NAME_MAX_BYTES},
    {.pszKey = "version", .eKind = EKind::Text, .pText = &ModuleParams::Version},
    {.pszKey = "class",
     .eKind = EKind::Text,
     .pText = &ModuleParams::Class,
     .pSetText = &CSetValues::strClass,
     .pInputText = &CSetFormInput::m_strClass,
     .nMaxBytes = CLASS_BYTES},
    {.pszKey = "baud",
     .eKind = EKind::Baud,
     .pText = &ModuleParams::Baud,
     .pSetText = &CSetValues::strBaud,
     .pInputText = &CSetFormInput::m_strBaud},
    {.pszKey = "parity",
     .eKind = EKind::Parity,
     .pInt = &ModuleParams::Parity,
     .pSetInt = &CSetValues::nParity},
    {.pszKey = "stop_bits",
     .eKind = EKind::StopBits,
     .pInt = &ModuleParams::StopBits,
     .pSetInt = &CSetValues::nStopBits},
    {.pszKey = "role",
     .eKind = EKind::Role,
     .pInt = &ModuleParams::Role,
     .pSetInt = &CSetValues::nRole},
    {.pszKey = "bind",
     .eKind = EKind::Flag,
     .pInt = &ModuleParams::Bind,
     .pSetInt = &CSetValues::nBind},
    {.pszKey = "auth",
     .eKind = EKind::Flag,
     .pInt = &ModuleParams::Auth,
     .pSetInt = &CSetValues::nAuth},
    {.pszKey = "password",
     .eKind = EKind::Text,
     .pText = &ModuleParams::Password,
     .pSetText = &CSetValues::strPassword,
     .pInputText = &CSetFormInput::m_strPassword,
     .nMaxBytes = PASSWORD_MAX_BYTES},
    {.pszKey = "scan",
     .eKind = EKind::Group,
     .pGroup = kScanMembers,
     .pSetGroup = &CSetValues::scan,
     .nMaxValue = SCAN_VALUE_MAX},
    {.pszKey = "sniff",
     .eKind = EKind::Group,
     .pGroup = kSniffMembers,
     .pSetGroup = &CSetValues::sniff,
     .nMaxValue = std::numeric_limits<uint32_t>::max()},
    {.pszKey = "local_address", .eKind = EKind::LocalAddress},
    {.pszKey = "bind_address",
     .eKind = EKind::Text,
     .pText = &ModuleParams::BindAddr,
     .pSetText = &CSetValues::strBindAddr,
     .pInputText = &CSetFormInput::m_strBindAddr},
};

// The named choices of the lists and check boxes, as the file writes them.
struct CChoice
{
    Json value;
    int nIndex;
};

const std::vector<CChoice> &Choices(EKind eKind)
{
    static const std::vector<CChoice> kParity = {{"none", 0}, {"odd", 1}, {"even", 2}};
    static const std::vector<CChoice> kStopBits = {{1, 0}, {2, 1}};
    static const std::vector<CChoice> kRole = {{"master", 1}, {"slave", 0}};
    static const std::vector<CChoice> kFlag = {{true, 1}, {false, 0}};
    return eKind == EKind::Parity     ? kParity
           : eKind == EKind::StopBits ? kStopBits
           : eKind == EKind::Role     ? kRole
                                      : kFlag;
}

const char *ChoiceHint(EKind eKind)
{
    return eKind == EKind::Parity     ? "\"none\", \"odd\" or \"even\""
           : eKind == EKind::StopBits ? "1 or 2"
           : eKind == EKind::Role     ? "\"master\" or \"slave\""
                                      : "true or false";
}

// The top-level fields of a query's report that belong to the run, not to the module.
constexpr const char *kRunFields[] = {"port", "ok", "status", "end", "error"};

// --- From the record to JSON

// Digits become a number; anything else the module sent stays a text. Twenty digits and more
// would not fit the number, so they stay a text too.
Json NumberTextOrNull(const std::string &strText)
{
    if (strText.empty())
        return Json();
    if (strText.size() > 19 || strText.find_first_not_of("0123456789") != std::string::npos)
        return Json(GbkToUtf8(strText));
    return Json(std::stoull(strText));
}

Json TextOrNull(const std::string &strGbk)
{
    return strGbk.empty() ? Json() : Json(GbkToUtf8(strGbk));
}

Json ChoiceToJson(EKind eKind, int32_t nValue)
{
    if (nValue < 0)
        return Json(); // not reported
    if (eKind == EKind::Flag)
        return Json(nValue != 0);
    for (const CChoice &choice : Choices(eKind)) {
        if (choice.nIndex == nValue)
            return choice.value;
    }
    return Json(nValue);
}

Json KeyToJson(const CParamKey &key, const ModuleParams &params, const std::string &strLocal)
{
    switch (key.eKind) {
    case EKind::Text:
        return TextOrNull(params.*key.pText);
    case EKind::LocalAddress:
        return TextOrNull(strLocal);
    case EKind::Baud:
        return NumberTextOrNull(params.*key.pText);
    case EKind::Group: {
        Json group = Json::object();
        for (size_t i = 0; i < 4; ++i)
            group[key.pGroup[i].pszKey] = NumberTextOrNull(params.*key.pGroup[i].pField);
        return group;
    }
    default:
        return ChoiceToJson(key.eKind, params.*key.pInt);
    }
}

// --- From JSON to a request

// Reads the keys of one "params" object into a request; every refusal names its key.
class CParamsReader
{
public:
    std::string Read(const Json &params, CSetValues &values)
    {
        if (!params.is_object())
            return "params: an object expected";
        for (const auto &[strKey, value] : params.items()) {
            const CParamKey *pKey = Find(strKey);
            if (pKey == nullptr)
                return "params." + strKey + ": unknown key";
            if (std::string strError = ReadKey(*pKey, value, values); !strError.empty())
                return "params." + strKey + ": " + strError;
        }
        return {};
    }

private:
    static const CParamKey *Find(const std::string &strKey)
    {
        for (const CParamKey &key : kParamKeys) {
            if (strKey == key.pszKey)
                return &key;
        }
        return nullptr;
    }

    static std::string ReadKey(const CParamKey &key, const Json &value, CSetValues &values)
    {
        const bool bSettable = key.pSetText || key.pSetInt || key.pSetGroup;
        if (!bSettable || value.is_null())
            return {};
        switch (key.eKind) {
        case EKind::Text:
            return ReadText(key, value, values.*key.pSetText);
        case EKind::Baud:
            return ReadBaud(value, values.*key.pSetText);
        case EKind::Group:
            return ReadGroup(key, value, values.*key.pSetGroup);
        default:
            return ReadChoice(key.eKind, value, values.*key.pSetInt);
        }
    }

    static std::string ReadText(const CParamKey &key, const Json &value,
                                std::optional<std::string> &target)
    {
        if (!value.is_string())
            return "a text expected";
        std::optional<std::string> strGbk = Utf8ToGbk(value.get<std::string>());
        if (!strGbk)
            return "holds a character that GBK cannot carry";
        if (key.nMaxBytes != 0 && strGbk->size() > key.nMaxBytes)
            return "longer than " + std::to_string(key.nMaxBytes) + " bytes in GBK";
        target = std::move(*strGbk);
        return {};
    }

    // A number as the file writes it: a JSON number or a text of digits.
    static std::optional<uint64_t> ReadNumber(const Json &value)
    {
        if (value.is_number_unsigned())
            return value.get<uint64_t>();
        if (value.is_number_integer() && value.get<int64_t>() >= 0)
            return static_cast<uint64_t>(value.get<int64_t>());
        if (!value.is_string())
            return std::nullopt;
        const std::string strText = value.get<std::string>();
        if (strText.empty() || strText.size() > 19 ||
            strText.find_first_not_of("0123456789") != std::string::npos)
            return std::nullopt;
        return std::stoull(strText);
    }

    static std::string ReadBaud(const Json &value, std::optional<std::string> &target)
    {
        const std::optional<uint64_t> nBaud = ReadNumber(value);
        if (!nBaud)
            return "a whole number expected";
        const std::string strBaud = std::to_string(*nBaud);
        for (const char *pszRate : BaudRateList) {
            if (strBaud == pszRate) {
                target = strBaud;
                return {};
            }
        }
        return strBaud + " is not one of the module's rates (1200 to 1382400)";
    }

    static std::string ReadGroup(const CParamKey &key, const Json &value,
                                 std::optional<std::vector<std::string>> &target)
    {
        if (!value.is_object())
            return "an object expected";
        for (const auto &[strMember, member] : value.items()) {
            if (!FindMember(key, strMember))
                return strMember + ": unknown key";
        }
        std::vector<std::string> numbers;
        for (size_t i = 0; i < 4; ++i) {
            const char *pszMember = key.pGroup[i].pszKey;
            if (!value.contains(pszMember) || value[pszMember].is_null())
                return std::string(pszMember) + ": missing (the four numbers are set together)";
            const std::optional<uint64_t> nNumber = ReadNumber(value[pszMember]);
            if (!nNumber)
                return std::string(pszMember) + ": a whole number expected";
            if (*nNumber > key.nMaxValue)
                return std::string(pszMember) + ": above " + std::to_string(key.nMaxValue);
            numbers.push_back(std::to_string(*nNumber));
        }
        target = std::move(numbers);
        return {};
    }

    static bool FindMember(const CParamKey &key, const std::string &strMember)
    {
        for (size_t i = 0; i < 4; ++i) {
            if (strMember == key.pGroup[i].pszKey)
                return true;
        }
        return false;
    }

    static std::string ReadChoice(EKind eKind, const Json &value, std::optional<int> &target)
    {
        for (const CChoice &choice : Choices(eKind)) {
            if (value == choice.value) {
                target = choice.nIndex;
                return {};
            }
        }
        return std::string(ChoiceHint(eKind)) + " expected";
    }
};

// Values that pass every check of the Set action, standing in for what a request leaves open.
CSetFormInput PassingInput()
{
    CSetFormInput input;
    input.m_strName = "x";
    input.m_strClass = "000000";
    input.m_strBaud = "9600";
    input.m_nParity = 0;
    input.m_nStopBits = 0;
    return input;
}

// The request's value of one key put into otherwise passing form input.
CSetFormInput InputWithKey(const CParamKey &key, const CSetValues &values)
{
    CSetFormInput input = PassingInput();
    if (key.pInputText && key.pSetText)
        input.*key.pInputText = *(values.*key.pSetText);
    if (key.pGroup) {
        const std::vector<std::string> &numbers = *(values.*key.pSetGroup);
        for (size_t i = 0; i < 4; ++i)
            input.*key.pGroup[i].pInput = static_cast<uint32_t>(std::stoul(numbers[i]));
    }
    return input;
}

bool HasValue(const CParamKey &key, const CSetValues &values)
{
    return (key.pSetText && (values.*key.pSetText).has_value()) ||
           (key.pSetInt && (values.*key.pSetInt).has_value()) ||
           (key.pSetGroup && (values.*key.pSetGroup).has_value());
}

// Each value on its own through the Set action's checks: no check looks at two keys, so the
// check that fails names the key that holds the value.
std::string CheckValues(const CSetValues &values)
{
    for (const CParamKey &key : kParamKeys) {
        if (!HasValue(key, values))
            continue;
        CSetFormInput input = InputWithKey(key, values);
        ModuleParams snapshot;
        if (const char *pszMessage = CheckSetForm(input, &snapshot))
            return std::string("params.") + key.pszKey + ": " + Tr("Engine", pszMessage);
    }
    return {};
}

// A query over several ports prints {"ports": [...]}: one report of it is a file too.
std::string SelectReport(const Json &root, const Json *&pReport)
{
    pReport = &root;
    if (!root.is_object())
        return "a JSON object expected";
    if (!root.contains("ports"))
        return {};
    const Json &ports = root["ports"];
    if (root.size() != 1 || !ports.is_array() || ports.size() != 1)
        return "ports: holds several modules' reports; keep the one to apply";
    pReport = &ports[0];
    return pReport->is_object() ? std::string() : "ports: a JSON object expected";
}

std::string ReadReport(const Json &report, CSetValues &values)
{
    for (const auto &[strKey, value] : report.items()) {
        bool bKnown = strKey == "params";
        for (const char *pszField : kRunFields)
            bKnown = bKnown || strKey == pszField;
        if (!bKnown)
            return strKey + ": unknown key";
    }
    if (report.contains("ok") && report["ok"] == false)
        return "ok: false, a report of a run that failed (its values may be incomplete)";
    if (!report.contains("params"))
        return "params: missing (the object that \"kestrel-cli query --json\" prints)";
    if (std::string strError = CParamsReader().Read(report["params"], values); !strError.empty())
        return strError;
    return CheckValues(values);
}

// "not valid JSON (line 3, column 7: ...)" from the library's "[json.exception...] parse error
// at line 3, column 7: ..." text.
std::string DescribeParseError(const std::string &strWhat)
{
    const size_t nAt = strWhat.find(" at ");
    return "not valid JSON" +
           (nAt == std::string::npos ? std::string() : " (" + strWhat.substr(nAt + 4) + ")");
}

} // namespace

Json ParamsToJson(const ModuleParams &params, const std::string &strLocalAddr)
{
    Json json = Json::object();
    for (const CParamKey &key : kParamKeys)
        json[key.pszKey] = KeyToJson(key, params, strLocalAddr);
    return json;
}

std::string FormatConfigText(const ModuleParams &params, const std::string &strLocalAddr,
                             const std::string &strPort)
{
    Json json = Json::object();
    if (!strPort.empty())
        json["port"] = strPort;
    json["params"] = ParamsToJson(params, strLocalAddr);
    return json.dump(2) + "\n";
}

CConfigReadResult ParseConfigText(const std::string &strText)
{
    CConfigReadResult result;
    Json root;
    try {
        root = Json::parse(strText);
    } catch (const Json::parse_error &error) {
        result.strError = DescribeParseError(error.what());
        return result;
    }
    const Json *pReport = nullptr;
    result.strError = SelectReport(root, pReport);
    if (result.strError.empty())
        result.strError = ReadReport(*pReport, result.values);
    result.bOk = result.strError.empty();
    if (!result.bOk)
        result.values = {};
    return result;
}

CConfigReadResult LoadConfigFile(const std::string &strPath)
{
    std::error_code error;
    if (std::filesystem::is_directory(strPath, error)) {
        CConfigReadResult result;
        result.strError = "cannot read the file: it is a directory";
        return result;
    }
    std::ifstream file(strPath, std::ios::binary);
    const int nOpenErrno = errno;
    std::ostringstream text;
    if (file)
        text << file.rdbuf();
    if (!file || file.bad()) {
        CConfigReadResult result;
        result.strError = std::string("cannot read the file: ") +
                          (file.is_open() ? "read error" : std::strerror(nOpenErrno));
        return result;
    }
    return ParseConfigText(text.str());
}

void MergeConfigUnder(CSetValues &set, const CSetValues &fromFile)
{
    for (const CParamKey &key : kParamKeys) {
        if (key.pSetText && !(set.*key.pSetText))
            set.*key.pSetText = fromFile.*key.pSetText;
        if (key.pSetInt && !(set.*key.pSetInt))
            set.*key.pSetInt = fromFile.*key.pSetInt;
        if (key.pSetGroup && !(set.*key.pSetGroup))
            set.*key.pSetGroup = fromFile.*key.pSetGroup;
    }
}

std::vector<CVerifyMismatch> CompareAskedWithRead(const CSetValues &asked,
                                                  const ModuleParams &snapshot,
                                                  const ModuleParams &read)
{
    std::vector<CVerifyMismatch> mismatches;
    for (const CParamKey &key : kParamKeys) {
        if (!HasValue(key, asked))
            continue;
        if (key.pSetText == &CSetValues::strBindAddr && snapshot.Bind != 1)
            continue;
        if (key.pSetText == &CSetValues::strPassword &&
            (snapshot.Auth == 0 || snapshot.Password.empty()))
            continue;
        const Json wanted = KeyToJson(key, snapshot, {});
        const Json got = KeyToJson(key, read, {});
        if (key.eKind != EKind::Group) {
            if (wanted != got)
                mismatches.push_back({key.pszKey, wanted.dump(), got.dump()});
            continue;
        }
        for (const auto &[strMember, value] : wanted.items()) {
            if (value != got[strMember])
                mismatches.push_back({std::string(key.pszKey) + "." + strMember, value.dump(),
                                      got[strMember].dump()});
        }
    }
    return mismatches;
}
