// The console's pieces: typed text to wire bytes, the end of a reply, script files.

#include "engine/ConsoleCommand.h"
#include "engine/UiText.h"

#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>
#include <string>

using namespace std::string_literals;

namespace {

constexpr EConsoleEol CrLf = EConsoleEol::CrLf;
constexpr EConsoleEol None = EConsoleEol::None;

struct CBuildCase
{
    const char *pszCase;
    std::string strTyped;
    EConsoleEol eEol;
    std::string strBytes; // when accepted
    EConsoleFault eFault = EConsoleFault::None;
    size_t nFaultChar = 0;
    size_t nFaultLength = 0;
};

const std::string kMo = "模"; // two bytes in GBK
const std::string kMoGbk = "\xC4\xA3";

const CBuildCase kBuildCases[] = {
    {"CrLf", "AT", CrLf, "AT\r\n"},
    {"Cr", "AT", EConsoleEol::Cr, "AT\r"},
    {"Lf", "AT", EConsoleEol::Lf, "AT\n"},
    {"None", "AT", None, "AT"},
    {"BlanksAsTyped", " AT ", None, " AT "},
    {"Chinese", "AT+NAME=" + kMo + "块", CrLf, "AT+NAME=" + kMoGbk + "\xBF\xE9\r\n"},
    {"Escapes", R"(a\r\n\\\x41\xff\x00)", None, "a\r\n\\A\xFF\0"s},
    {"EscapeMakesControlByte", R"(\x1B)", None, "\x1B"},
    {"Empty", "", CrLf, "", EConsoleFault::Empty, 0, 0},
    {"UnknownLetter", R"(AT\q)", CrLf, "", EConsoleFault::BadEscape, 2, 2},
    {"UpperCaseLetter", R"(AT\R)", CrLf, "", EConsoleFault::BadEscape, 2, 2},
    {"HexOneDigit", R"(AT\x4)", CrLf, "", EConsoleFault::BadEscape, 2, 2},
    {"HexNotDigit", R"(AT\x4G)", CrLf, "", EConsoleFault::BadEscape, 2, 2},
    {"TrailingBackslash", "AT\\", CrLf, "", EConsoleFault::BadEscape, 2, 1},
    {"BackslashThenNul", "A\\\0"s, CrLf, "", EConsoleFault::BadEscape, 1, 2},
    {"EscapeCountsCharacters", kMo + R"(\q)", CrLf, "", EConsoleFault::BadEscape, 1, 2},
    {"Tab", "A\tB", CrLf, "", EConsoleFault::ControlByte, 1, 1},
    {"Delete", "AB\x7F", CrLf, "", EConsoleFault::ControlByte, 2, 1},
    {"RawCr", kMo + "\r", CrLf, "", EConsoleFault::ControlByte, 1, 1},
    {"Emoji", "AT+NAME=\xF0\x9F\x98\x80", CrLf, "", EConsoleFault::NotGbk, 8, 1},
    {"NotUtf8", "A\xFF", CrLf, "", EConsoleFault::NotGbk, 1, 1},
    {"FullWithCrLf", std::string(126, 'A'), CrLf, std::string(126, 'A') + "\r\n"},
    {"OverWithCrLf", std::string(127, 'A'), CrLf, "", EConsoleFault::TooLong, 126, 1},
    {"FullWithCr", std::string(127, 'A'), EConsoleEol::Cr, std::string(127, 'A') + "\r"},
    {"FullWithNone", std::string(128, 'A'), None, std::string(128, 'A')},
    {"OverWithNone", std::string(130, 'A'), None, "", EConsoleFault::TooLong, 128, 2},
    {"ChineseCountsGbkBytes",
     [] {
         std::string s;
         for (int i = 0; i < 64; ++i)
             s += kMo;
         return s;
     }(),
     CrLf, "", EConsoleFault::TooLong, 63, 1},
    {"EscapesCountTheirByte",
     [] {
         std::string s;
         for (int i = 0; i < 128; ++i)
             s += R"(\x41)";
         return s;
     }(),
     None, std::string(128, 'A')},
};

class ConsoleCommandTest : public ::testing::Test
{
protected:
    void TearDown() override { SetUiLanguage(EUiLanguage::Chinese); }
};

} // namespace

TEST_F(ConsoleCommandTest, TypedTextBecomesGbkBytesWithTheEndingOrIsRefusedWhere)
{
    for (const CBuildCase &c : kBuildCases) {
        const CConsoleCommand command = BuildConsoleCommand(c.strTyped, c.eEol);
        EXPECT_EQ(command.eFault, c.eFault) << c.pszCase;
        EXPECT_EQ(command.strBytes, c.strBytes) << c.pszCase;
        EXPECT_EQ(command.strMessage.empty(), command.Ok()) << c.pszCase;
        if (command.Ok()) {
            EXPECT_EQ(command.strCommand + std::string(ConsoleEolBytes(c.eEol)), c.strBytes);
            EXPECT_LE(command.strBytes.size(), kConsoleCommandMaxBytes) << c.pszCase;
        } else {
            EXPECT_EQ(command.nFaultChar, c.nFaultChar) << c.pszCase;
            EXPECT_EQ(command.nFaultLength, c.nFaultLength) << c.pszCase;
        }
    }
}

TEST_F(ConsoleCommandTest, MessagesNameThePlaceInTheUsersLanguage)
{
    const struct
    {
        EUiLanguage eLanguage;
        const char *pszTyped;
        const char *pszMessage;
    } kCases[] = {
        {EUiLanguage::Chinese, R"(AT\q)", R"(第 3 个字符：无效的转义 \q，可用 \r、\n、\\ 和 \xNN)"},
        {EUiLanguage::English, R"(AT\q)",
         R"(Character 3: \q is not an escape; use \r, \n, \\ or \xNN)"},
        {EUiLanguage::English, "A\tB",
         R"(Character 2 is a control character (\x09); type it as an escape such as \r, \n or \x1B)"},
        {EUiLanguage::English, "\xE2\x82\xAC\xE2\x98\x83",
         "Character 2 (\xE2\x80\x9C\xE2\x98\x83\xE2\x80\x9D) has no GBK form, so the module cannot "
         "receive it"},
    };
    for (const auto &c : kCases) {
        SetUiLanguage(c.eLanguage);
        EXPECT_EQ(BuildConsoleCommand(c.pszTyped, CrLf).strMessage, c.pszMessage);
    }
}

TEST_F(ConsoleCommandTest, EndingsHaveNamesThatReadBackAndListTexts)
{
    const char *const kListTexts[] = {"CR LF", "CR", "LF", "None"};
    SetUiLanguage(EUiLanguage::English);
    for (size_t i = 0; i < std::size(kConsoleEols); ++i) {
        EXPECT_EQ(ParseConsoleEolName(ConsoleEolName(kConsoleEols[i])), kConsoleEols[i]);
        EXPECT_STREQ(ConsoleEolListText(kConsoleEols[i]), kListTexts[i]);
    }
    EXPECT_EQ(kConsoleEols[0], kDefaultConsoleEol);
    EXPECT_STREQ(ConsoleEolName(EConsoleEol::Cr), "cr");
    EXPECT_FALSE(ParseConsoleEolName("CRLF"));
    EXPECT_FALSE(ParseConsoleEolName(""));
    SetUiLanguage(EUiLanguage::Chinese);
    EXPECT_STREQ(ConsoleEolListText(None), "无");
}

TEST_F(ConsoleCommandTest, OnlyPlainAtAndQueriesLeaveTheModuleAsItWas)
{
    const struct
    {
        const char *pszBytes;
        bool bChanges;
    } kCases[] = {
        {"AT", false},
        {"at", false},
        {"AT+NAME?", false},
        {"AT+NAME? ", false},
        {"", false},
        {"\r\n", false},
        {"AT\r\nAT+ROLE?", false},
        {"AT+NAME=x", true},
        {"AT+RESET", true},
        {"AT+INQ", true},
        {"ATZ", true},
        {"AT+NAME?\r\nAT+RESET", true},
        {"AT+RESET\nAT+NAME?", true},
    };
    for (const auto &c : kCases)
        EXPECT_EQ(ConsoleCommandCanChangeModule(c.pszBytes), c.bChanges) << c.pszBytes;
}

// Every reply whole, byte by byte and split at every position: the same end.
TEST_F(ConsoleCommandTest, ReplyEndsOnOkAnyErrorOrInquiryComplete)
{
    using E = EConsoleReplyEnd;
    const struct
    {
        const char *pszReply;
        E eEnd;
    } kCases[] = {
        {"\r\nOK\r\n", E::Ok},
        {"\r\n+NAME:CORVA\r\n\r\nOK\r\n", E::Ok},
        {"\r\nok\r\n", E::Ok},
        {"OK\n", E::Ok},
        {"\r\nERROR\r\n", E::Refused},
        {"\r\nERROR:3\r\n", E::Refused},
        {"\r\nERROR(1F)\r\n", E::Refused},
        {"\r\nERROR and a long remark after it\r\n", E::Refused},
        {"\r\n+INQRESU:0011223344AA,Phone\r\n\r\n+INQCOMP\r\n", E::Inquiry},
        {"\r\nOK", E::Open},
        {"\r\nOKAY\r\n", E::Open},
        {"\r\n+NAME:OK\r\n", E::Open},
        {"\r\nNO ERROR\r\n", E::Open},
        {"\r\nERRO\r\n", E::Open},
        {"\r\nxxxxxxxxxxxxxxxxxxxxxxxxOK\r\n", E::Open},
    };
    for (const auto &c : kCases) {
        const std::string strReply = c.pszReply;
        for (size_t nSplit = 0; nSplit <= strReply.size(); ++nSplit) {
            CConsoleReplyWatch watch;
            E eEnd = watch.OnBytes(std::string_view(strReply).substr(0, nSplit));
            if (eEnd == E::Open)
                eEnd = watch.OnBytes(std::string_view(strReply).substr(nSplit));
            EXPECT_EQ(eEnd, c.eEnd) << c.pszReply << " split at " << nSplit;
        }
        CConsoleReplyWatch watch;
        E eEnd = E::Open;
        for (size_t i = 0; i < strReply.size() && eEnd == E::Open; ++i)
            eEnd = watch.OnBytes(std::string_view(strReply).substr(i, 1));
        EXPECT_EQ(eEnd, c.eEnd) << c.pszReply << " byte by byte";
    }
}

TEST_F(ConsoleCommandTest, ScriptTakesOneCommandALineAndRefusesABadLineByNumber)
{
    const struct
    {
        const char *pszCase;
        std::string strText;
        std::vector<std::pair<int, std::string>> expected; // line, bytes
        int nErrorLine;
    } kCases[] = {
        {"Mixed",
         "# set up\r\nAT\r\n\r\n   \nAT+NAME?\n  # remark\nAT+NAME=" + kMo,
         {{2, "AT\r\n"}, {5, "AT+NAME?\r\n"}, {7, "AT+NAME=" + kMoGbk + "\r\n"}},
         0},
        {"ByteOrderMark",
         "\xEF\xBB\xBF"
         "AT\n",
         {{1, "AT\r\n"}},
         0},
        {"Escapes",
         R"(AT+X=\x41\r)"
         "\n",
         {{1, "AT+X=A\r\r\n"}},
         0},
        {"Empty", "", {}, 0},
        {"OnlyRemarks", "#\n\n", {}, 0},
        {"BadEscape", "AT\nAT\nAT\\q\nAT\n", {}, 3},
        {"LoneCr", "AT\rAT+RESET\n", {}, 1},
        {"TooLong", "AT\n" + std::string(127, 'A') + "\r\n", {}, 2},
    };
    for (const auto &c : kCases) {
        const CConsoleScript script = ParseConsoleScript(c.strText, CrLf);
        EXPECT_EQ(script.bOk, c.nErrorLine == 0) << c.pszCase;
        EXPECT_EQ(script.nErrorLine, c.nErrorLine) << c.pszCase;
        std::vector<std::pair<int, std::string>> got;
        for (const CConsoleScriptLine &line : script.lines)
            got.emplace_back(line.nLine, line.command.strBytes);
        EXPECT_EQ(got, c.expected) << c.pszCase;
        if (c.nErrorLine != 0) {
            EXPECT_TRUE(script.strError.starts_with("line " + std::to_string(c.nErrorLine) + ": "))
                << script.strError;
        }
    }
}

// Bounded as a configuration file is: one byte over the limit is refused without a parse.
TEST_F(ConsoleCommandTest, ScriptFilesOverOneMebibyteAreRefusedUnread)
{
    const std::string strPath = ::testing::TempDir() + "kestrel_console_script.txt";
    for (const size_t nSize : {size_t{1024 * 1024}, size_t{1024 * 1024 + 1}}) {
        {
            std::ofstream file(strPath, std::ios::binary);
            file << "AT\n" << std::string(nSize - 3, '\n');
        }
        const CConsoleScript script = LoadConsoleScript(strPath, CrLf);
        EXPECT_EQ(script.bOk, nSize == 1024 * 1024) << nSize << ": " << script.strError;
        EXPECT_EQ(script.lines.size(), script.bOk ? 1u : 0u);
        EXPECT_EQ(script.strError.find("larger than 1 MiB") != std::string::npos, !script.bOk);
    }
    std::remove(strPath.c_str());
    const CConsoleScript missing = LoadConsoleScript(strPath, CrLf);
    EXPECT_FALSE(missing.bOk);
    EXPECT_TRUE(missing.strError.starts_with("cannot read the file: ")) << missing.strError;
}
