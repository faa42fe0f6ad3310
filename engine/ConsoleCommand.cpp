#include "engine/ConsoleCommand.h"

#include "engine/FileText.h"
#include "engine/UiText.h"
#include "protocol/GbkText.h"

#include <algorithm>
#include <cstdio>

namespace {

// One ending: its bytes, its name on the command line and in the profile, its list text.
struct CEolRow
{
    EConsoleEol eEol;
    const char *pBytes;
    const char *pName;
    CUiSource listText; // the same in both languages but "none"
};

const CEolRow kEolRows[] = {
    {EConsoleEol::CrLf, "\r\n", "crlf", {"CR LF"}},
    {EConsoleEol::Cr, "\r", "cr", {"CR"}},
    {EConsoleEol::Lf, "\n", "lf", {"LF"}},
    {EConsoleEol::None, "", "none", KESTREL_TR_NOOP("Console", "无")},
};

const CEolRow &EolRow(EConsoleEol eEol)
{
    for (const CEolRow &row : kEolRows) {
        if (row.eEol == eEol)
            return row;
    }
    return kEolRows[0];
}

std::string HexByte(unsigned char byte)
{
    char achHex[8];
    std::snprintf(achHex, sizeof(achHex), "\\x%02X", byte);
    return achHex;
}

int HexDigit(char ch)
{
    if (ch >= '0' && ch <= '9')
        return ch - '0';
    if (ch >= 'a' && ch <= 'f')
        return ch - 'a' + 10;
    if (ch >= 'A' && ch <= 'F')
        return ch - 'A' + 10;
    return -1;
}

// Length of the UTF-8 sequence at the start of strText, or 0 when none starts there.
size_t Utf8SequenceLength(std::string_view strText)
{
    const auto chLead = static_cast<unsigned char>(strText[0]);
    const size_t nLength = chLead < 0x80             ? 1
                           : (chLead & 0xE0) == 0xC0 ? 2
                           : (chLead & 0xF0) == 0xE0 ? 3
                           : (chLead & 0xF8) == 0xF0 ? 4
                                                     : 0;
    if (nLength == 0 || nLength > strText.size())
        return 0;
    for (size_t i = 1; i < nLength; ++i) {
        if ((static_cast<unsigned char>(strText[i]) & 0xC0) != 0x80)
            return 0;
    }
    return nLength;
}

// Walks the typed text one character (or one escape) at a time, gathering the bytes, and stops
// at the first fault.
class CCommandBuilder
{
public:
    CCommandBuilder(std::string_view strTyped, EConsoleEol eEol)
        : m_strTyped(strTyped), m_strEol(ConsoleEolBytes(eEol))
    {}

    CConsoleCommand Build();

private:
    bool Step();
    bool TakeEscape();
    bool TakeCharacter();
    bool Append(const std::string &strBytes, size_t nTypedBytes, size_t nChars);
    bool Fail(EConsoleFault eFault, size_t nLength, std::string strMessage);

    std::string_view m_strTyped;
    std::string_view m_strEol;
    size_t m_nAt = 0;   // byte offset into the typed text
    size_t m_nChar = 0; // the same, in characters
    CConsoleCommand m_command;
};

CConsoleCommand CCommandBuilder::Build()
{
    if (m_strTyped.empty()) {
        Fail(EConsoleFault::Empty, 0, Tr("Console", "请输入要发送的命令"));
        return m_command;
    }
    while (m_nAt < m_strTyped.size()) {
        if (!Step())
            return m_command;
    }
    m_command.strBytes = m_command.strCommand + std::string(m_strEol);
    return m_command;
}

bool CCommandBuilder::Step()
{
    const auto byte = static_cast<unsigned char>(m_strTyped[m_nAt]);
    if (byte == '\\')
        return TakeEscape();
    if (byte < 0x20 || byte == 0x7F)
        return Fail(EConsoleFault::ControlByte, 1,
                    FillArgs(Tr("Console", "第 %1 个字符是控制字符（%2），请用转义写出，如 \\r、"
                                           "\\n 或 \\x1B"),
                             {std::to_string(m_nChar + 1), HexByte(byte)}));
    return TakeCharacter();
}

// "\r", "\n", "\\" or "\xNN"; anything else is refused whole, with what was typed.
bool CCommandBuilder::TakeEscape()
{
    const std::string_view strRest = m_strTyped.substr(m_nAt);
    const bool bTrailing = strRest.size() < 2;
    const char chKind = bTrailing ? '\0' : strRest[1];
    if (chKind == 'r' || chKind == 'n' || chKind == '\\')
        return Append(std::string(1, chKind == 'r' ? '\r' : chKind == 'n' ? '\n' : '\\'), 2, 2);
    if (chKind == 'x' && strRest.size() > 3 && HexDigit(strRest[2]) >= 0 &&
        HexDigit(strRest[3]) >= 0)
        return Append(
            std::string(1, static_cast<char>(HexDigit(strRest[2]) * 16 + HexDigit(strRest[3]))), 4,
            4);
    // What is shown of the bad escape: the backslash and the character after it, if any.
    const size_t nShown =
        bTrailing ? 1 : 1 + std::max<size_t>(Utf8SequenceLength(strRest.substr(1)), 1);
    const std::string strShown(strRest.substr(0, std::min(nShown, strRest.size())));
    const char *pFormat =
        bTrailing ? Tr("Console", "第 %1 个字符：命令不能以单个反斜杠结尾，反斜杠本身请写作 \\\\")
        : chKind == 'x'
            ? Tr("Console", "第 %1 个字符：%2 后面应是两位十六进制数字，如 \\x0D")
            : Tr("Console", "第 %1 个字符：无效的转义 %2，可用 \\r、\\n、\\\\ 和 \\xNN");
    return Fail(EConsoleFault::BadEscape, bTrailing ? 1 : 2,
                FillArgs(pFormat, {std::to_string(m_nChar + 1), strShown}));
}

// One typed character, in GBK.
bool CCommandBuilder::TakeCharacter()
{
    const std::string_view strRest = m_strTyped.substr(m_nAt);
    const size_t nLength = Utf8SequenceLength(strRest);
    std::optional<std::string> gbk;
    if (nLength != 0)
        gbk = Utf8ToGbk(strRest.substr(0, nLength));
    if (!gbk || gbk->empty()) {
        const std::string strShown =
            nLength != 0 ? std::string(strRest.substr(0, nLength)) : "\xEF\xBF\xBD";
        return Fail(EConsoleFault::NotGbk, 1,
                    FillArgs(Tr("Console", "第 %1 个字符“%2”无法用 GBK 编码，模块收不到它"),
                             {std::to_string(m_nChar + 1), strShown}));
    }
    return Append(*gbk, nLength, 1);
}

// Adds the bytes that nTypedBytes of the typed text stand for, if they fit with the ending.
bool CCommandBuilder::Append(const std::string &strBytes, size_t nTypedBytes, size_t nChars)
{
    if (m_command.strCommand.size() + strBytes.size() + m_strEol.size() > kConsoleCommandMaxBytes) {
        // The rest of the text is over the limit; its length in characters is counted for it.
        size_t nRestChars = 0;
        for (size_t i = m_nAt; i < m_strTyped.size(); ++i)
            nRestChars += (static_cast<unsigned char>(m_strTyped[i]) & 0xC0) != 0x80;
        return Fail(
            EConsoleFault::TooLong, nRestChars,
            FillArgs(Tr("Console", "命令太长：连同行尾最多 %1 字节，从第 %2 个字符起超出"),
                     {std::to_string(kConsoleCommandMaxBytes), std::to_string(m_nChar + 1)}));
    }
    m_command.strCommand += strBytes;
    m_nAt += nTypedBytes;
    m_nChar += nChars;
    return true;
}

bool CCommandBuilder::Fail(EConsoleFault eFault, size_t nLength, std::string strMessage)
{
    m_command.eFault = eFault;
    m_command.nFaultChar = m_nChar;
    m_command.nFaultLength = nLength;
    m_command.strMessage = std::move(strMessage);
    m_command.strCommand.clear();
    m_command.strBytes.clear();
    return false;
}

// "ok", "OK": the word alone on the line, any letter case.
bool SameLetters(std::string_view strLine, std::string_view strUpper)
{
    return strLine.size() == strUpper.size() &&
           std::equal(strLine.begin(), strLine.end(), strUpper.begin(), [](char ch, char chUpper) {
               return (ch >= 'a' && ch <= 'z' ? ch - 32 : ch) == chUpper;
           });
}

EConsoleReplyEnd JudgeLine(std::string_view strLine)
{
    if (SameLetters(strLine, "OK"))
        return EConsoleReplyEnd::Ok;
    if (strLine.size() >= 5 && SameLetters(strLine.substr(0, 5), "ERROR"))
        return EConsoleReplyEnd::Refused;
    if (SameLetters(strLine, "+INQCOMP"))
        return EConsoleReplyEnd::Inquiry;
    return EConsoleReplyEnd::Open;
}

std::string_view TrimBlanks(std::string_view strText)
{
    const size_t nFirst = strText.find_first_not_of(" \t");
    if (nFirst == std::string_view::npos)
        return {};
    return strText.substr(nFirst, strText.find_last_not_of(" \t") - nFirst + 1);
}

// A script line is skipped when blank or a remark.
bool IsSkippedLine(std::string_view strLine)
{
    const std::string_view strTrimmed = TrimBlanks(strLine);
    return strTrimmed.empty() || strTrimmed.front() == '#';
}

} // namespace

size_t Utf16Units(std::string_view strTextUtf8, size_t nChars)
{
    size_t nUnits = 0;
    for (size_t nAt = 0; nChars > 0 && nAt < strTextUtf8.size(); --nChars) {
        const size_t nLength = std::max<size_t>(Utf8SequenceLength(strTextUtf8.substr(nAt)), 1);
        nUnits += nLength == 4 ? 2 : 1;
        nAt += nLength;
    }
    return nUnits;
}

std::string_view ConsoleEolBytes(EConsoleEol eEol)
{
    return EolRow(eEol).pBytes;
}

const char *ConsoleEolName(EConsoleEol eEol)
{
    return EolRow(eEol).pName;
}

std::optional<EConsoleEol> ParseConsoleEolName(std::string_view strName)
{
    for (const CEolRow &row : kEolRows) {
        if (strName == row.pName)
            return row.eEol;
    }
    return std::nullopt;
}

const char *ConsoleEolListText(EConsoleEol eEol)
{
    // The line-end names are the same in every language; only "无" is a word.
    const CEolRow &row = EolRow(eEol);
    return Tr("Console", row.listText);
}

CConsoleCommand BuildConsoleCommand(std::string_view strTypedUtf8, EConsoleEol eEol)
{
    return CCommandBuilder(strTypedUtf8, eEol).Build();
}

bool ConsoleCommandCanChangeModule(std::string_view strCommandBytes)
{
    while (!strCommandBytes.empty()) {
        const size_t nEnd = std::min(strCommandBytes.find_first_of("\r\n"), strCommandBytes.size());
        const std::string_view strLine = TrimBlanks(strCommandBytes.substr(0, nEnd));
        strCommandBytes.remove_prefix(std::min(nEnd + 1, strCommandBytes.size()));
        if (strLine.empty())
            continue;
        if (!SameLetters(strLine, "AT") && strLine.back() != '?')
            return true;
    }
    // Nothing but line ends and blanks: no command reaches the module.
    return false;
}

EConsoleReplyEnd CConsoleReplyWatch::OnBytes(std::string_view strBytes)
{
    // Only the words that end a reply matter, so a line longer than the longest is not kept.
    constexpr size_t kKeptBytes = 16;
    for (const char ch : strBytes) {
        if (ch != '\r' && ch != '\n') {
            if (m_strLine.size() < kKeptBytes)
                m_strLine.push_back(ch);
            continue;
        }
        const EConsoleReplyEnd eEnd = JudgeLine(m_strLine);
        m_strLine.clear();
        if (eEnd != EConsoleReplyEnd::Open)
            return eEnd;
    }
    return EConsoleReplyEnd::Open;
}

CConsoleScript ParseConsoleScript(std::string_view strText, EConsoleEol eEol)
{
    CConsoleScript script;
    if (strText.starts_with("\xEF\xBB\xBF"))
        strText.remove_prefix(3);
    for (int nLine = 1; !strText.empty(); ++nLine) {
        const size_t nEnd = std::min(strText.find('\n'), strText.size());
        std::string_view strLine = strText.substr(0, nEnd);
        strText.remove_prefix(std::min(nEnd + 1, strText.size()));
        if (strLine.ends_with('\r'))
            strLine.remove_suffix(1);
        if (IsSkippedLine(strLine))
            continue;
        CConsoleScriptLine line{nLine, std::string(strLine), BuildConsoleCommand(strLine, eEol)};
        if (!line.command.Ok()) {
            script.nErrorLine = nLine;
            script.strError = "line " + std::to_string(nLine) + ": " + line.command.strMessage;
            script.lines.clear();
            return script;
        }
        script.lines.push_back(std::move(line));
    }
    script.bOk = true;
    return script;
}

CConsoleScript LoadConsoleScript(const std::string &strPath, EConsoleEol eEol)
{
    std::string strText;
    CConsoleScript script;
    bool bTooLarge = false;
    if (!ReadFileBounded(strPath, kMaxUserFileBytes, strText, script.strError, &bTooLarge)) {
        if (bTooLarge)
            script.strError += ", not a command script";
        return script;
    }
    return ParseConsoleScript(strText, eEol);
}
