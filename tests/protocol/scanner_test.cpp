#include "RecordingHandler.h"
#include "protocol/AtProtocol.h"
#include "protocol/ResponseScanner.h"

#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace std::string_literals;
using Calls = std::vector<std::string>;

namespace {

struct SScanCase
{
    const char *pszName;
    std::string strInput;
    Calls vecCalls;
    size_t nConsumed;
};

void PrintTo(const SScanCase &c, std::ostream *pOut)
{
    *pOut << c.pszName;
}

class ScanTable : public testing::TestWithParam<SScanCase>
{
};

std::string ScanCaseName(const testing::TestParamInfo<SScanCase> &info)
{
    return info.param.pszName;
}

TEST_P(ScanTable, DispatchesAndConsumes)
{
    const SScanCase &c = GetParam();
    const SScanResult result = ScanWhole(c.strInput);
    EXPECT_EQ(result.vecCalls, c.vecCalls);
    EXPECT_EQ(result.nConsumed, c.nConsumed);
}

// Recognised replies and their fields.
INSTANTIATE_TEST_SUITE_P(
    Replies, ScanTable,
    testing::Values(
        SScanCase{"OkLowerCase", "\r\nok\r\n", {"Ok"}, 6},
        SScanCase{"ErrorMixedCase", "\r\nErRoR\r\n", {"Error"}, 9},
        SScanCase{"NameKeywordLowerTextKeepsCase", "\r\n+name:Abc\r\n", {"Name(Abc)"}, 13},
        SScanCase{"NameWithEquals", "\r\n+NAME=Abc\r\n", {"Name(Abc)"}, 13},
        SScanCase{"NameQuotedWithSpace", "\r\n+NAME:\"My Dev\"\r\n", {"Name(My Dev)"}, 18},
        SScanCase{"NameOpeningQuoteOnly", "\r\n+NAME:\"Abc\r\n", {"Name(Abc)"}, 14},
        SScanCase{"NameClosingQuoteOnly", "\r\n+NAME:Abc\"\r\n", {"Name(Abc)"}, 14},
        SScanCase{"NameTrailingSpaceKept", "\r\n+NAME:Abc \r\n", {"Name(Abc )"}, 14},
        SScanCase{"NameAllTextBytes", "\r\n+NAME:a#*+-.^_9\r\n", {"Name(a#*+-.^_9)"}, 19},
        SScanCase{"VersionClassPassword",
                  "\r\n+VERSION:V2.0\r\n\r\n+CLASS:001f00\r\n\r\n+PASSWORD:1234\r\n",
                  {"Version(V2.0)", "Class(001f00)", "Password(1234)"},
                  52},
        SScanCase{"AuthBaudBindRole",
                  "\r\n+AUTH:1\r\n\r\n+BAUD:9600\r\n\r\n+BIND=0\r\n\r\n+ROLE:1\r\n",
                  {"Auth(1)", "Baud(9600)", "Bind(0)", "Role(1)"},
                  47},
        SScanCase{"ScanBothSeparators",
                  "\r\n+SCAN:1024;512,1024;512\r\n",
                  {"Scan(1024,512,1024,512)"},
                  27},
        SScanCase{"SniffFieldOrder", "\r\n+SNIFF:10,20,30,40\r\n", {"Sniff(30,10,20,40)"}, 22},
        SScanCase{"LedIgnored", "\r\n+LED:1,2\r\n", {"Ignored"}, 12},
        SScanCase{"BlanksBeforeAddr", "\r\n \t+ADDR:xyz\r\n", {"Ignored"}, 15},
        SScanCase{"AddrTrailingBlanks", "\r\n+ADDR:xyz\t\r\n", {"Ignored"}, 14},
        SScanCase{"BlanksBeforeBindaddr", "\r\n  +BINDADDR:12 \r\n", {"Ignored"}, 19},
        SScanCase{"NameThenOk", "\r\n+NAME:Abc\r\n\r\nOK\r\n", {"Name(Abc)", "Ok"}, 19},
        SScanCase{"NumberWrapsAt32Bits", "\r\n+BAUD:4294967297\r\n", {"Baud(1)"}, 20},
        SScanCase{"LongNumberWrapsWithoutOverflow",
                  "\r\n+BAUD:99999999999999999999\r\n",
                  {"Baud(1661992959)"},
                  30}),
    ScanCaseName);

// Lines the table refuses or whose fields do not parse reach OnOtherLine raw.
INSTANTIATE_TEST_SUITE_P(
    OtherLines, ScanTable,
    testing::Values(
        SScanCase{"ScanDoubleComma",
                  "\r\n+SCAN:1024,,512,1024,512\r\n",
                  {"Other(\\r\\n+SCAN:1024,,512,1024,512\\r\\n)"},
                  28},
        SScanCase{"ScanTimeKeyword",
                  "\r\n+SCANTIME:1024,512,1024,512\r\n",
                  {"Other(\\r\\n+SCANTIME:1024,512,1024,512\\r\\n)"},
                  31},
        SScanCase{
            "ScanThreeNumbers", "\r\n+SCAN:1,2,3\r\n", {"Other(\\r\\n+SCAN:1,2,3\\r\\n)"}, 15},
        SScanCase{"SniffFiveNumbers",
                  "\r\n+SNIFF:1,2,3,4,5\r\n",
                  {"Other(\\r\\n+SNIFF:1,2,3,4,5\\r\\n)"},
                  20},
        SScanCase{"LedDoubleComma", "\r\n+LED:1,,2\r\n", {"Other(\\r\\n+LED:1,,2\\r\\n)"}, 13},
        SScanCase{"RaddrLowerCase",
                  "\r\n+raddr:0011223344AA\r\n",
                  {"Other(\\r\\n+raddr:0011223344AA\\r\\n)"},
                  23},
        SScanCase{"UartmodeOutsideTable",
                  "\r\n+UARTMODE:1,2\r\n",
                  {"Other(\\r\\n+UARTMODE:1,2\\r\\n)"},
                  17},
        SScanCase{"InqcompOutsideTable", "\r\n+INQCOMP\r\n", {"Other(\\r\\n+INQCOMP\\r\\n)"}, 12},
        SScanCase{"ErrorWithCode", "\r\nERROR:3\r\n", {"Other(\\r\\nERROR:3\\r\\n)"}, 11},
        SScanCase{"OkWithoutLeadingFrame", "OK\r\n", {"Other(OK\\r)"}, 4},
        SScanCase{
            "BlanksBeforeName", "\r\n  +NAME:xyz\r\n", {"Other(\\r\\n  +NAME:xyz\\r\\n)"}, 15},
        SScanCase{
            "NameWithSlash", "\r\n+NAME:abc/def\r\n", {"Other(\\r\\n+NAME:abc/def\\r\\n)"}, 17},
        SScanCase{
            "NameTabAfterText", "\r\n+NAME:Abc\t\r\n", {"Other(\\r\\n+NAME:Abc\\t\\r\\n)"}, 14},
        SScanCase{"NameEmpty", "\r\n+NAME:\r\n", {"Other(\\r\\n+NAME:\\r\\n)"}, 10},
        SScanCase{"NameEmptyQuotes", "\r\n+NAME:\"\"\r\n", {"Other(\\r\\n+NAME:\"\"\\r\\n)"}, 12},
        SScanCase{"NameEmptyBeforeComma", "\r\n+NAME:,\r\n", {"Other(\\r\\n+NAME:,\\r\\n)"}, 11},
        SScanCase{"NameHighBytesEndText",
                  "\r\n+NAME:Ab\xC4\xE3\r\n",
                  {"Other(\\r\\n+NAME:Ab\\xC4\\xE3\\r\\n)"},
                  14},
        SScanCase{"RoleWithoutDigits", "\r\n+ROLE:x\r\n", {"Other(\\r\\n+ROLE:x\\r\\n)"}, 11},
        SScanCase{"RoleSigned", "\r\n+ROLE:-1\r\n", {"Other(\\r\\n+ROLE:-1\\r\\n)"}, 12},
        SScanCase{"KeywordWithoutColon", "\r\n+NAME Abc\r\n", {"Other(\\r\\n+NAME Abc\\r\\n)"}, 13},
        SScanCase{"EchoedCommandThenReply",
                  "AT+NAME?\r\n\r\n+NAME:Abc\r\n",
                  {"Other(AT+NAME?\\r)", "Name(Abc)"},
                  23},
        SScanCase{
            "EmptyLineSwallowsOk", "\r\n\r\nOK\r\n", {"Other(\\r\\n\\r\\n)", "Other(OK\\r)"}, 8}),
    ScanCaseName);

// Framing: dropped single bytes and lines that have not fully arrived.
INSTANTIATE_TEST_SUITE_P(
    Framing, ScanTable,
    testing::Values(
        SScanCase{"StrayLfDropped", "\n\r\nOK\r\n", {"Ok"}, 7},
        SScanCase{"LoneCrDropped", "\r\r\nOK\r\n", {"Ok"}, 7},
        SScanCase{"BlanksBeforeFrameDropped", " \t\r\nOK\r\n", {"Ok"}, 8},
        SScanCase{"SecondLineIncomplete", "\r\n+NAME:Abc\r\n\r\n+NA", {"Name(Abc)"}, 13},
        SScanCase{"NoClosingCr", "\r\n+NAME:Ab", {}, 0}, SScanCase{"ShortCrLf", "\r\n\r", {}, 0},
        SScanCase{"ShortCrCr", "\r\r", {}, 0}, SScanCase{"SingleCr", "\r", {}, 0},
        SScanCase{"OkWithoutFinalLf", "\r\nOK\r", {}, 0}, SScanCase{"OnlyBlanks", "  \t ", {}, 0},
        SScanCase{"BareLineWithoutCr", "AT+NAME?", {}, 0}, SScanCase{"Empty", "", {}, 0}),
    ScanCaseName);

// The same line closed by each terminator: only a closing CR LF frames a reply.
struct STerminatorCase
{
    const char *pszName;
    std::string strTerminator;
    bool bRecognised; // else, when complete, the line reaches OnOtherLine without its framing
    bool bComplete;
};

struct SLineCase
{
    std::string strLine;
    const char *pszCall;
};

const SLineCase kTerminatedLines[] = {
    {"OK", "Ok"},
    {"ERROR", "Error"},
    {"+ROLE:1", "Role(1)"},
    {"+NAME:Abc", "Name(Abc)"},
    {"+SNIFF:1;2;3;4", "Sniff(3,1,2,4)"},
};

class TerminatorTable : public testing::TestWithParam<STerminatorCase>
{
};

TEST_P(TerminatorTable, FramesEveryReplyKindAlike)
{
    const STerminatorCase &t = GetParam();
    for (const SLineCase &line : kTerminatedLines) {
        SCOPED_TRACE(line.strLine);
        const std::string strInput = "\r\n" + line.strLine + t.strTerminator;
        const SScanResult result = ScanWhole(strInput);
        if (t.bRecognised) {
            EXPECT_EQ(result.vecCalls, Calls{line.pszCall});
            EXPECT_EQ(result.nConsumed, strInput.size());
        } else if (t.bComplete) {
            // The opening CR and LF drop as single bytes, the line ends at its first CR.
            const Calls expected{"Other(" + CRecordingHandler::Escape(line.strLine + "\r") + ")"};
            EXPECT_EQ(result.vecCalls, expected);
            EXPECT_EQ(result.nConsumed, 2 + line.strLine.size() + 1);
        } else {
            EXPECT_TRUE(result.vecCalls.empty());
            EXPECT_EQ(result.nConsumed, 0u);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Terminators, TerminatorTable,
                         testing::Values(STerminatorCase{"CrLf", "\r\n", true, true},
                                         STerminatorCase{"LfCrLf", "\n\r\n", true, true},
                                         STerminatorCase{"CrCr", "\r\r", false, true},
                                         STerminatorCase{"CrCrLf", "\r\r\n", false, true},
                                         STerminatorCase{"LfLf", "\n\n", false, false},
                                         STerminatorCase{"Lf", "\n", false, false},
                                         STerminatorCase{"Cr", "\r", false, false},
                                         STerminatorCase{"None", "", false, false}),
                         [](const testing::TestParamInfo<STerminatorCase> &info) {
                             return info.param.pszName;
                         });

// Every keyword in upper, lower and mixed case, after ":" and "=", yields its kind.
TEST(MatchKeyword, EveryKeywordYieldsItsKind)
{
    const struct
    {
        const char *pszWord;
        int32_t nKind;
    } kWords[] = {
        {"+LED", RK_LED},           {"+ADDR", RK_ADDR},       {"+AUTH", RK_AUTH},
        {"+BAUD", RK_BAUD},         {"+BIND", RK_BIND},       {"+NAME", RK_NAME},
        {"+ROLE", RK_ROLE},         {"+SCAN", RK_SCAN},       {"+CLASS", RK_CLASS},
        {"+SNIFF", RK_SNIFF},       {"+VERSION", RK_VERSION}, {"+BINDADDR", RK_BINDADDR},
        {"+PASSWORD", RK_PASSWORD},
    };
    for (const auto &w : kWords) {
        std::string strLower = w.pszWord;
        for (char &c : strLower)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        for (const std::string &strWord : {std::string(w.pszWord), strLower}) {
            for (const char *pszColon : {":", "="}) {
                const std::string strLine = "\r\n" + strWord + pszColon + "7";
                const char *pAfter = nullptr;
                EXPECT_EQ(MatchKeyword(strLine.data(), strLine.data() + strLine.size(), &pAfter),
                          w.nKind)
                    << strLine;
                EXPECT_EQ(pAfter, strLine.data() + strLine.size() - 1) << strLine;
            }
        }
    }
}

// Prefixes, blanks in the wrong place, and case folding limited to a-z.
TEST(MatchKeyword, RefusesNearMisses)
{
    const std::string kMisses[] = {
        "\r\n+NAM",    "\r\n+NAMEX", "\r\nOK",   "\r\nOKX\r\n", "\r\n +NAME:",   "\r\n +BIND:",
        "\r\n+ BIND:", " \r+NAME:",  "\r+NAME:", "+NAME:",      "\r\n+N\xC1ME:", "\r\n+NAME\r\n",
    };
    for (const std::string &strLine : kMisses) {
        const char *pAfter = nullptr;
        EXPECT_EQ(MatchKeyword(strLine.data(), strLine.data() + strLine.size(), &pAfter), 0)
            << CRecordingHandler::Escape(strLine);
    }
}

// The matcher against a plain walk of the published tables: upper-case a-z, first entry of the
// state in stored order, to the end of the block.
int32_t WalkPublishedTables(const std::string &str, size_t *pAfter)
{
    int32_t nState = 0;
    for (size_t i = 0; i < str.size() && nState >= 0; ++i) {
        auto c = static_cast<unsigned char>(str[i]);
        if (c >= 'a' && c <= 'z')
            c = static_cast<unsigned char>(c - 32);
        const KeywordTransition *t = KeywordStates[nState];
        while (t != KeywordStates[nState + 1] && static_cast<unsigned char>(t->nChar) != c)
            ++t;
        if (t == KeywordStates[nState + 1])
            return 0;
        nState = t->nNextState;
        *pAfter = i + 1;
    }
    return nState < 0 ? nState : 0;
}

TEST(KeywordTables, MatcherAgreesWithTableWalk)
{
    const std::string kAlphabet = "\r\n \t+:=OKERLDABUTHINMPSCVWFokerldx\xC1\xEB";
    const std::string kSeeds[] = {
        "\r\nOK\r\n",      "\r\nERROR\n\r", "\r\n+LED:",      "\r\n\t+ADDR=",
        "\r\n +BINDADDR:", "\r\n+AUTH:",    "\r\n+BAUD:",     "\r\n+BIND=",
        "\r\n+NAME:",      "\r\n+ROLE:",    "\r\n+SCAN:",     "\r\n+CLASS:",
        "\r\n+SNIFF:",     "\r\n+VERSION:", "\r\n+PASSWORD:", " \t\n\r+name:",
    };
    int nCompared = 0;
    for (const std::string &strSeed : kSeeds) {
        // Every single-byte substitution, and every truncation, of every keyword line.
        for (size_t i = 0; i < strSeed.size(); ++i) {
            for (const char c : kAlphabet) {
                std::string str = strSeed;
                str[i] = c;
                for (const std::string &strCase : {str, str.substr(0, i + 1)}) {
                    size_t nAfter = 0;
                    const int32_t nExpected = WalkPublishedTables(strCase, &nAfter);
                    const char *pAfter = nullptr;
                    const char *pBegin = strCase.data();
                    ASSERT_EQ(MatchKeyword(pBegin, pBegin + strCase.size(), &pAfter), nExpected)
                        << CRecordingHandler::Escape(strCase);
                    if (nExpected != 0) {
                        ASSERT_EQ(pAfter - pBegin, ptrdiff_t(nAfter));
                    }
                    nCompared += nExpected != 0;
                }
            }
        }
    }
    EXPECT_GT(nCompared, 100); // the substitutions must reach real matches, not only misses
}

TEST(KeywordTables, StateIndexCoversTransitionsInOrder)
{
    EXPECT_EQ(KeywordStates[0], KeywordTransitions);
    EXPECT_EQ(KeywordStates[KEYWORD_STATE_COUNT], KeywordTransitions + KEYWORD_TRANSITION_COUNT);
    for (int s = 0; s < KEYWORD_STATE_COUNT; ++s) {
        EXPECT_LT(KeywordStates[s], KeywordStates[s + 1]) << "state " << s << " has no transition";
        EXPECT_LE(KeywordStates[s + 1] - KeywordStates[s], 9) << "state " << s;
    }
}

// Field parsers alone: where each stops and what it writes.
TEST(FieldParsers, NumberStopsAtFirstNonDigitAndPassesNull)
{
    const struct
    {
        std::string strIn;
        ptrdiff_t nStop;
        uint32_t nValue;
    } kCases[] = {
        {"123,", 3, 123},      {"0", 1, 0},       {"4294967295", 10, 4294967295u},
        {"4294967296", 10, 0}, {"12\xB9", 2, 12}, {"", -1, 0},
        {",5", -1, 0},
    };
    for (const auto &c : kCases) {
        uint32_t nValue = 77;
        const char *p = ParseNumber(c.strIn.data(), c.strIn.data() + c.strIn.size(), &nValue);
        EXPECT_EQ(p == nullptr ? -1 : p - c.strIn.data(), c.nStop) << c.strIn;
        EXPECT_EQ(nValue, c.nValue) << c.strIn;
    }
    uint32_t nUntouched = 77;
    EXPECT_EQ(ParseNumber(nullptr, nullptr, &nUntouched), nullptr);
    EXPECT_EQ(nUntouched, 77u);
}

TEST(FieldParsers, TextSpansAndEndings)
{
    const struct
    {
        std::string strIn;
        ptrdiff_t nStop;
        std::string strText;
    } kCases[] = {
        {"Abc\r", 3, "Abc"}, {"\"A b\"\r", 5, "A b"}, {"\"Ab", 3, "Ab"},   {",", 0, ""},
        {"\",", 1, ""},      {"\"\",", 2, ""},        {"\r", -1, ""},      {"", -1, ""},
        {"\"", -1, ""},      {"\xA1x", -1, ""},       {"ab\x80", 2, "ab"},
    };
    for (const auto &c : kCases) {
        TextSpan span{c.strIn.data(), 99};
        const char *p = ParseText(c.strIn.data(), c.strIn.data() + c.strIn.size(), &span);
        EXPECT_EQ(p == nullptr ? -1 : p - c.strIn.data(), c.nStop)
            << CRecordingHandler::Escape(c.strIn);
        EXPECT_EQ(std::string(span.pText ? span.pText : "", span.nLength), c.strText);
        EXPECT_EQ(span.pText == nullptr, c.strText.empty());
    }
}

TEST(FieldParsers, NullPassesThroughEveryStep)
{
    const char szEnd[] = "";
    TextSpan span;
    EXPECT_EQ(ExpectLineEnd(nullptr, szEnd), nullptr);
    EXPECT_EQ(SkipSeparator(nullptr, szEnd), nullptr);
    EXPECT_EQ(SkipQuote(nullptr, szEnd), nullptr);
    EXPECT_EQ(SkipBlanks(nullptr, szEnd), nullptr);
    EXPECT_EQ(ParseText(nullptr, szEnd, &span), nullptr);
}

// Only the low 16 bits of the length count: 65536 + N bytes scan as N.
TEST(ScanResponses, LengthCutToSixteenBits)
{
    std::string strBlock = "\r\nOK\r\n\r\n+NAME:X\r\n";
    strBlock.resize(65536 + 6, '\n');
    EXPECT_EQ(ScanWhole(strBlock).vecCalls, Calls{"Ok"});
    EXPECT_EQ(ScanWhole(strBlock).nConsumed, 6u);

    strBlock.resize(65536);
    EXPECT_EQ(ScanWhole(strBlock).vecCalls, Calls{});
    EXPECT_EQ(ScanWhole(strBlock).nConsumed, 0u);
}

TEST(ScanResponses, LargestBlockIsFullyCounted)
{
    std::string strBlock(SCAN_BLOCK_MAX_BYTES - 6, '\n');
    strBlock += "\r\nOK\r\n";
    const SScanResult result = ScanWhole(strBlock);
    EXPECT_EQ(result.vecCalls, Calls{"Ok"});
    EXPECT_EQ(result.nConsumed, SCAN_BLOCK_MAX_BYTES);
}

TEST(ScanResponses, NullHandlerConsumesWithoutCalls)
{
    const std::string strBlock = "\r\nOK\r\n\r\n+NA";
    EXPECT_EQ(ScanResponses(nullptr, strBlock.data(), strBlock.size()), 6u);
}

// Each slot holds its command, CR LF, then zeros to the end: a slot can be sent as it is.
TEST(AtProtocolTables, QuerySlotsAreTerminatedAndZeroFilled)
{
    for (int i = 0; i < QUERY_COMMAND_COUNT; ++i) {
        const char *pszSlot = QueryCommandTable[i];
        const size_t nLength = strnlen(pszSlot, QUERY_COMMAND_SLOT_SIZE);
        ASSERT_LT(nLength, size_t(QUERY_COMMAND_SLOT_SIZE)) << i;
        EXPECT_EQ(std::string(pszSlot, 2), "AT") << i;
        EXPECT_EQ(std::string(pszSlot + nLength - 2), "\r\n") << i;
        for (size_t k = nLength; k < QUERY_COMMAND_SLOT_SIZE; ++k)
            EXPECT_EQ(pszSlot[k], '\0') << i;
    }
    EXPECT_STREQ(QueryCommandTable[QUERY_INDEX_RADDR], "AT+RADDR?\r\n");
}

TEST(AtProtocolTables, BaudRatesAscend)
{
    for (int i = 1; i < BAUD_RATE_COUNT; ++i)
        EXPECT_LT(std::stol(BaudRateList[i - 1]), std::stol(BaudRateList[i])) << i;
}

} // namespace
