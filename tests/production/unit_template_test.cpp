// Per-unit templates: every malformed template is refused naming what and where, each unit gets
// its own text, and a template that can outgrow a parameter is known before any port opens.

#include "cli/UnitTemplate.h"
#include "cli/UnitsCsv.h"

#include <gtest/gtest.h>

namespace {

constexpr const char *kAddr = "00158300A1B2";

CUnitTemplate Parsed(const std::string &strTemplate)
{
    const CUnitTemplateParse parse = CUnitTemplate::Parse(strTemplate);
    EXPECT_TRUE(parse.bOk) << strTemplate << ": " << parse.strError;
    return parse.unitTemplate;
}

CUnitsCsv Units()
{
    // "工位" is four bytes in GBK, six in UTF-8.
    const CUnitsCsvRead read = ParseUnitsCsv("label,site\n\"a, b\",x\nlonger one,工位\n");
    EXPECT_TRUE(read.bOk) << read.strError;
    return read.units;
}

} // namespace

TEST(UnitTemplate, RefusalsNameWhatAndWhere)
{
    const struct
    {
        const char *pszTemplate;
        const char *pszNamed;
    } kCases[] = {
        {"Sensor-{adr}", "character 8: unknown field {adr}"},
        {"{addr:-0}", "character 1: {addr:-N} takes N from 1 to 12"},
        {"x{addr:-13}", "character 2: {addr:-N}"},
        {"{addr:4}", "{addr:-N}"},
        {"{n:3}", "{n:0W} takes a width"},
        {"{n:021}", "{n:0W}"},
        {"{csv:}", "{csv:COLUMN} names no column"},
        {"a}b", "character 2: a lone }"},
        {"工位{n", "character 3: { is not closed"},
        {"ab\xF0\x9F\x98\x80{n}", "character 3: a character that GBK cannot carry"},
        {"{}", "unknown field {}"},
    };
    for (const auto &test : kCases) {
        const CUnitTemplateParse parse = CUnitTemplate::Parse(test.pszTemplate);
        EXPECT_FALSE(parse.bOk) << test.pszTemplate;
        EXPECT_NE(parse.strError.find(test.pszNamed), std::string::npos)
            << test.pszTemplate << ": " << parse.strError;
    }
}

TEST(UnitTemplate, EachUnitGetsItsOwnTextOrWhyNot)
{
    const CUnitsCsv units = Units();
    const struct
    {
        const char *pszTemplate;
        CUnitFacts facts;
        const char *pszText; // or what the refusal names
        bool bOk = true;
    } kCases[] = {
        {"Sensor-{addr:-4}", {kAddr, 0, nullptr, 0}, "Sensor-A1B2"},
        {"{addr}", {kAddr, 0, nullptr, 0}, kAddr},
        {"U{n:03}", {kAddr, 7, nullptr, 0}, "U007"},
        {"U{n:03}", {kAddr, 1234, nullptr, 0}, "U1234"}, // outgrows its width, never wraps
        {"{{{n}}}-}}{{", {kAddr, 5, nullptr, 0}, "{5}-}{"},
        {"{csv:label}/{csv:site}", {kAddr, 0, &units, 1}, "a, b/x"},
        {"{csv:site}{n:02}", {kAddr, 3, &units, 2}, "工位03"},
        {"{addr:-4}", {"", 1, nullptr, 0}, "no address", false},
        {"{addr}", {"00158300A1G2", 1, nullptr, 0}, "not 12 hex digits", false},
        {"{csv:label}", {kAddr, 1, nullptr, 0}, "no row", false},
        {"{csv:label}", {kAddr, 1, &units, 3}, "no row", false},
    };
    for (const auto &test : kCases) {
        const CTemplateExpansion expansion = Parsed(test.pszTemplate).Expand(test.facts);
        EXPECT_EQ(expansion.bOk, test.bOk) << test.pszTemplate;
        if (test.bOk)
            EXPECT_EQ(expansion.strText, test.pszText) << test.pszTemplate;
        else
            EXPECT_NE(expansion.strError.find(test.pszText), std::string::npos)
                << expansion.strError;
    }
}

TEST(UnitTemplate, SizeIsKnownWhereTheValuesAre)
{
    const CUnitsCsv units = Units();
    constexpr std::optional<size_t> kUnknown;
    const struct
    {
        const char *pszTemplate;
        CTemplateBounds bounds;
        size_t nMin;
        std::optional<size_t> nMax;
    } kCases[] = {
        {"Sensor-{addr:-4}", {}, 11, 11},
        {"{addr}", {}, 12, 12},
        {"工位{addr:-2}", {}, 6, 6}, // counted in GBK
        {"{n:03}", {1, std::nullopt, nullptr}, 3, kUnknown},
        {"{n:03}", {1, 999, nullptr}, 3, 3},
        {"{n:03}", {1, 1000, nullptr}, 3, 4},
        {"{n}", {5, 120, nullptr}, 1, 3},
        {"{n}", {2000, 10, nullptr}, 4, 4}, // a bound below the start is no bound
        {"{csv:label}", {}, 0, kUnknown},
        {"{csv:label}", {1, std::nullopt, &units}, 4, 10},
        {"<{csv:site}>", {1, std::nullopt, &units}, 3, 6},
    };
    for (const auto &test : kCases) {
        const CTemplateSize size = Parsed(test.pszTemplate).Size(test.bounds);
        EXPECT_EQ(size.nMinBytes, test.nMin) << test.pszTemplate;
        EXPECT_EQ(size.nMaxBytes, test.nMax) << test.pszTemplate;
    }
}

TEST(UnitTemplate, ATemplateThatCanOutgrowItsParameterIsRefusedFirst)
{
    const CTemplateBounds kUnbounded;
    const CTemplateBounds kUpTo9999{1, 9999, nullptr};
    const struct
    {
        const char *pszTemplate;
        CTemplateBounds bounds;
        const char *pszNamed; // empty: fits, or cannot be known yet
    } kCases[] = {
        {"Sensor-{addr}", kUnbounded, ""},
        {"LongPrefix-{addr}", kUnbounded,
         "--name: expands to 23 bytes in GBK, the module takes at most 20"},
        {"Sensor-{n:03}", kUnbounded, ""}, // not knowable: each unit checks its own
        {"0123456789012345-{n:03}", kUpTo9999, "--name: can expand to 21 bytes"},
        {"ABCDEFGHIJKLMNOPQRST{n}", kUnbounded, "expands to at least 21"}, // whatever n is
        {"工位工位工位工位{addr:-4}", kUnbounded, ""},                     // 16 + 4 in GBK
        {"工位工位工位工位{addr:-5}", kUnbounded, "expands to 21"},
    };
    for (const auto &test : kCases) {
        const std::string strError =
            CheckTemplateFits("--name", Parsed(test.pszTemplate), 20, test.bounds);
        EXPECT_NE(strError.find(test.pszNamed), std::string::npos) << strError;
        EXPECT_EQ(strError.empty(), test.pszNamed[0] == '\0') << test.pszTemplate;
    }
}
