#include "engine/ConfigFile.h"

#include "engine/FileText.h"
#include "engine/ParameterWrite.h"
#include "engine/UiText.h"
#include "protocol/AtProtocol.h"
#include "protocol/GbkText.h"

#include <algorithm>
#include <limits>
#include <vector>

namespace {

using Json = nlohmann::ordered_json;

// The JSON value of each named choice of a row.
Json ChoiceJson(const CParamChoice &choice)
{
    return Json::parse(choice.pszJson);
}

// Bounds that keep any file's parse small: the files this reads are three levels deep with
// fourteen keys at most, and an object's keys are looked up one by one as they are read.
constexpr size_t kMaxDepth = 32;
constexpr int kMaxKeys = 64;

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

Json ChoiceToJson(const CParamRow &row, int32_t nValue)
{
    if (nValue < 0)
        return Json(); // not reported
    if (row.eKind == EParamKind::Switch)
        return Json(nValue != 0);
    for (const CParamChoice &choice : row.choices) {
        if (choice.nIndex == nValue)
            return ChoiceJson(choice);
    }
    return Json(nValue);
}

Json KeyToJson(const CParamRow &row, const ModuleParams &params, const std::string &strLocal)
{
    switch (row.eKind) {
    case EParamKind::Text:
        return TextOrNull(params.*row.pText);
    case EParamKind::LocalAddress:
        return TextOrNull(strLocal);
    case EParamKind::Baud:
        return NumberTextOrNull(params.*row.pText);
    case EParamKind::Group: {
        Json group = Json::object();
        for (const CParamMember &member : row.members)
            group[member.pszKey] = NumberTextOrNull(params.*member.pField);
        return group;
    }
    default:
        return ChoiceToJson(row, params.*row.pInt);
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
            const CParamRow *pRow = FindParam(strKey);
            if (pRow == nullptr)
                return "params." + strKey + ": unknown key";
            if (std::string strError = ReadKey(*pRow, value, values); !strError.empty())
                return "params." + strKey + ": " + strError;
        }
        return {};
    }

private:
    static std::string ReadKey(const CParamRow &row, const Json &value, CSetValues &values)
    {
        if (!row.IsSettable() || value.is_null())
            return {};
        std::string strError;
        switch (row.eKind) {
        case EParamKind::Text:
            strError = ReadText(row, value, values.params.*row.pText);
            break;
        case EParamKind::Baud:
            strError = ReadBaud(value, values.params.*row.pText);
            break;
        case EParamKind::Group:
            strError = ReadGroup(row, value, values.params);
            break;
        default:
            strError = ReadChoice(row, value, values.params.*row.pInt);
            break;
        }
        if (strError.empty())
            values.Ask(row);
        return strError;
    }

    static std::string ReadText(const CParamRow &row, const Json &value, std::string &target)
    {
        if (!value.is_string())
            return "a text expected";
        std::optional<std::string> strGbk = Utf8ToGbk(value.get<std::string>());
        if (!strGbk)
            return "holds a character that GBK cannot carry";
        if (row.nMaxBytes != 0 && strGbk->size() > row.nMaxBytes)
            return "longer than " + std::to_string(row.nMaxBytes) + " bytes in GBK";
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

    static std::string ReadBaud(const Json &value, std::string &target)
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

    static std::string ReadGroup(const CParamRow &row, const Json &value, ModuleParams &target)
    {
        if (!value.is_object())
            return "an object expected";
        for (const auto &[strMember, member] : value.items()) {
            if (!FindMember(row, strMember))
                return strMember + ": unknown key";
        }
        ModuleParams numbers;
        for (const CParamMember &member : row.members) {
            const std::string strMember = member.pszKey;
            if (!value.contains(strMember) || value[strMember].is_null())
                return strMember + ": missing (the four numbers are set together)";
            const std::optional<uint64_t> nNumber = ReadNumber(value[strMember]);
            if (!nNumber)
                return strMember + ": a whole number expected";
            if (*nNumber > row.nMaxValue)
                return strMember + ": above " + std::to_string(row.nMaxValue);
            numbers.*member.pField = std::to_string(*nNumber);
        }
        CopyParam(row, numbers, target);
        return {};
    }

    static bool FindMember(const CParamRow &row, const std::string &strMember)
    {
        for (const CParamMember &member : row.members) {
            if (strMember == member.pszKey)
                return true;
        }
        return false;
    }

    static std::string ReadChoice(const CParamRow &row, const Json &value, int32_t &target)
    {
        for (const CParamChoice &choice : row.choices) {
            if (value == ChoiceJson(choice)) {
                target = choice.nIndex;
                return {};
            }
        }
        return ChoiceList(row, true, ", ", " or ") + " expected";
    }
};

// Values that pass every check of the Set action, standing in for what a request leaves open.
CSetFormInput PassingInput()
{
    CSetFormInput input;
    input.Name = "x";
    input.Class = "000000";
    input.Baud = "9600";
    input.Parity = 0;
    input.StopBits = 0;
    return input;
}

// Each value on its own through the Set action's checks: no check looks at two keys, so the
// check that fails names the key that holds the value.
std::string CheckValues(const CSetValues &values)
{
    for (const CParamRow &row : ParamTable) {
        if (!values.Has(row))
            continue;
        CSetFormInput input = PassingInput();
        CopyParam(row, values.params, input);
        ModuleParams snapshot;
        if (const CUiSource message = CheckSetForm(input, &snapshot); message.pText)
            return std::string("params.") + row.pszKey + ": " + Tr("Engine", message);
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

// "line 2, column 5" of the byte at nOffset, counted as the parser counts them.
std::string Position(const std::string &strText, size_t nOffset)
{
    nOffset = std::min(nOffset, strText.size());
    size_t nLine = 1;
    size_t nLineStart = 0;
    for (size_t i = 0; i < nOffset; ++i) {
        if (strText[i] == '\n') {
            ++nLine;
            nLineStart = i + 1;
        }
    }
    return "line " + std::to_string(nLine) + ", column " + std::to_string(nOffset - nLineStart + 1);
}

// Looks for nesting and objects beyond what a configuration file holds, before the parser
// builds anything; a malformed text is left to the parser to describe.
std::string CheckShape(const std::string &strText)
{
    std::vector<int> keysPerLevel; // -1 for an array
    bool bInString = false;
    for (size_t i = 0; i < strText.size(); ++i) {
        const char c = strText[i];
        if (bInString) {
            if (c == '\\')
                ++i;
            else if (c == '"')
                bInString = false;
            continue;
        }
        if (c == '"') {
            bInString = true;
        } else if (c == '{' || c == '[') {
            if (keysPerLevel.size() == kMaxDepth)
                return "not a configuration file (" + Position(strText, i) +
                       ": nested deeper than " + std::to_string(kMaxDepth) + " levels)";
            keysPerLevel.push_back(c == '{' ? 0 : -1);
        } else if (c == '}' || c == ']') {
            if (!keysPerLevel.empty())
                keysPerLevel.pop_back();
        } else if (c == ':' && !keysPerLevel.empty() && keysPerLevel.back() >= 0) {
            if (++keysPerLevel.back() > kMaxKeys)
                return "not a configuration file (" + Position(strText, i) +
                       ": an object with more than " + std::to_string(kMaxKeys) + " keys)";
        }
    }
    return {};
}

// The library's document builder, with every error it meets turned into a text with the
// position (a number too large for a double comes as another kind of exception, without one).
class CDomBuilder : public nlohmann::detail::json_sax_dom_parser<Json>
{
public:
    CDomBuilder(Json &root, const std::string &strText)
        : json_sax_dom_parser(root, false), m_strText(strText)
    {}

    template <class Exception>
    bool parse_error(std::size_t nPosition, const std::string &strToken, const Exception &error)
    {
        if (m_strError.empty()) {
            const std::string strWhat = error.what();
            const size_t nBracket = strWhat.find("] ");
            m_strError =
                strWhat.find(" at line ") != std::string::npos
                    ? DescribeParseError(strWhat)
                    : "not valid JSON (" +
                          Position(m_strText, nPosition - std::min(nPosition, strToken.size())) +
                          ": " + strWhat.substr(nBracket == std::string::npos ? 0 : nBracket + 2) +
                          ")";
        }
        return false;
    }

    const std::string &Error() const { return m_strError; }

private:
    const std::string &m_strText;
    std::string m_strError;
};

} // namespace

Json ParamsToJson(const ModuleParams &params, const std::string &strLocalAddr)
{
    Json json = Json::object();
    for (const CParamRow &row : ParamTable)
        json[row.pszKey] = KeyToJson(row, params, strLocalAddr);
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
    if (result.strError = CheckShape(strText); !result.strError.empty())
        return result;
    CDomBuilder builder(root, strText);
    try {
        Json::sax_parse(strText, &builder);
    } catch (const Json::exception &error) {
        builder.parse_error(strText.size(), {}, error);
    }
    if (!builder.Error().empty()) {
        result.strError = builder.Error();
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
    CConfigReadResult result;
    std::string strText;
    bool bTooLarge = false;
    if (!ReadFileBounded(strPath, kMaxUserFileBytes, strText, result.strError, &bTooLarge)) {
        if (bTooLarge)
            result.strError += ", not a configuration file";
        return result;
    }
    return ParseConfigText(strText);
}

void MergeConfigUnder(CSetValues &set, const CSetValues &fromFile)
{
    for (const CParamRow &row : ParamTable) {
        if (!set.Has(row) && fromFile.Has(row)) {
            CopyParam(row, fromFile.params, set.params);
            set.Ask(row);
        }
    }
}

std::vector<CVerifyMismatch> CompareAskedWithRead(const CSetValues &asked,
                                                  const ModuleParams &snapshot,
                                                  const ModuleParams &read)
{
    std::vector<CVerifyMismatch> mismatches;
    for (const CParamRow &row : ParamTable) {
        if (!asked.Has(row))
            continue;
        if (row.eSetRule == ESetRule::WhileBinding && snapshot.Bind != 1)
            continue;
        if (row.eSetRule == ESetRule::WithAuth && (snapshot.Auth == 0 || snapshot.Password.empty()))
            continue;
        const Json wanted = KeyToJson(row, snapshot, {});
        const Json got = KeyToJson(row, read, {});
        if (row.eKind != EParamKind::Group) {
            if (wanted != got)
                mismatches.push_back({row.pszKey, wanted.dump(), got.dump()});
            continue;
        }
        for (const auto &[strMember, value] : wanted.items()) {
            if (value != got[strMember])
                mismatches.push_back({std::string(row.pszKey) + "." + strMember, value.dump(),
                                      got[strMember].dump()});
        }
    }
    return mismatches;
}
