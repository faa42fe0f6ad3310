// The units file: RFC 4180 text in every line-end style, refusals that say where, and rows
// handed out once, to the module they name or in order.

#include "cli/UnitsCsv.h"
#include "tests/support/TempFolder.h"

#include <fstream>
#include <gtest/gtest.h>

namespace {

using Rows = std::vector<std::vector<std::string>>;

Rows RowsOf(const CUnitsCsv &units)
{
    Rows rows;
    for (size_t nRow = 1; nRow <= units.RowCount(); ++nRow) {
        rows.emplace_back();
        for (size_t nColumn = 0; nColumn < units.Columns().size(); ++nColumn)
            rows.back().push_back(units.Value(nRow, nColumn));
    }
    return rows;
}

CUnitsCsv Parsed(const std::string &strText)
{
    const CUnitsCsvRead read = ParseUnitsCsv(strText);
    EXPECT_TRUE(read.bOk) << read.strError;
    return read.units;
}

} // namespace

TEST(UnitsCsv, ReadsEveryLineEndAndQuoting)
{
    const struct
    {
        const char *pszCase;
        std::string strText;
        Rows rows;
    } kCases[] = {
        {"LF", "name,pin\nA,1\nB,2\n", {{"A", "1"}, {"B", "2"}}},
        {"CRLF, no newline at the end", "name,pin\r\nA,1\r\nB,2", {{"A", "1"}, {"B", "2"}}},
        {"byte order mark", "\xEF\xBB\xBFname,pin\nA,1\n", {{"A", "1"}}},
        {"quoted comma and quote", "name,pin\n\"a, \"\"b\"\"\",\"\"\n", {{"a, \"b\"", ""}}},
        {"line breaks inside quotes", "name,pin\n\"x\r\ny\nz\",1\n", {{"x\r\ny\nz", "1"}}},
        {"blank lines", "name,pin\n\nA,1\r\n\r\n", {{"A", "1"}}},
        {"empty last field", "name,pin\nA,\n", {{"A", ""}}},
        {"Chinese", "name,pin\n工位,1\n", {{"工位", "1"}}},
    };
    for (const auto &test : kCases) {
        const CUnitsCsv units = Parsed(test.strText);
        EXPECT_EQ(units.Columns(), (std::vector<std::string>{"name", "pin"})) << test.pszCase;
        EXPECT_EQ(RowsOf(units), test.rows) << test.pszCase;
    }
}

TEST(UnitsCsv, RefusalsSayWhere)
{
    const struct
    {
        const char *pszCase;
        std::string strText;
        const char *pszNamed;
    } kCases[] = {
        {"empty", "", "a header row"},
        {"open quote", "name\nA\n\"B,\n", "line 3: a quoted field is not closed"},
        {"stray quote", "name\nA\"B\n", "line 2: a quote inside an unquoted field"},
        {"text after a quote", "name\n\"A\"B\n", "line 2: text after a closing quote"},
        {"short row after a broken line", "a,b\n\"1\n2\",3\n4\n",
         "line 4: 1 fields, the header names 2"},
        {"column twice", "a,b,a\n1,2,3\n", "the column \"a\" is named twice"},
        {"bad address", "addr,name\n00158300A1B2,x\n0015,y\n", "row 2: addr \"0015\""},
        {"same module twice", "addr,name\n00158300A1B2,x\n00:15:83:00:a1:b2,y\n",
         "row 2: addr 00:15:83:00:a1:b2 is already row 1's"},
    };
    for (const auto &test : kCases) {
        const CUnitsCsvRead read = ParseUnitsCsv(test.strText);
        EXPECT_FALSE(read.bOk) << test.pszCase;
        EXPECT_NE(read.strError.find(test.pszNamed), std::string::npos)
            << test.pszCase << ": " << read.strError;
    }
}

TEST(UnitsCsv, AMissingColumnIsNamed)
{
    const CUnitsCsv units = Parsed("addr,name\n,x\n");
    EXPECT_EQ(units.MissingColumn({"name", "addr"}), "");
    EXPECT_EQ(units.MissingColumn({"name", "serial"}),
              "the units file has no column \"serial\" (its columns: addr, name)");
}

TEST(UnitsCsv, FilesAreBoundedAndNamed)
{
    const CTempFolder folder;
    const std::string strBig = folder.File("big.csv");
    std::ofstream(strBig, std::ios::binary) << "name\n" << std::string(1024 * 1024, 'x') << "\n";
    const std::string strGood = folder.File("good.csv");
    std::ofstream(strGood, std::ios::binary) << "name\nA\n";

    EXPECT_NE(LoadUnitsCsv(strBig).strError.find("larger than 1 MiB"), std::string::npos);
    EXPECT_NE(LoadUnitsCsv(folder.File("none.csv")).strError.find("none.csv"), std::string::npos);
    const CUnitsCsvRead good = LoadUnitsCsv(strGood);
    EXPECT_TRUE(good.bOk) << good.strError;
    EXPECT_EQ(good.units.RowCount(), 1u);
}

TEST(UnitsCsv, RowsGoOnceToTheirModuleOrInOrder)
{
    // Rows 1 and 4 name their modules; row 2 went to module CC before this run.
    const CUnitsCsv units = Parsed("addr,name\n"
                                   "AAAAAAAAAAAA,a\n,b\n,c\n,d\nBB-BB-BB-BB-BB-BB,e\n");
    CUnitsRowPicker picker(units);
    picker.MarkGiven(2, "CCCCCCCCCCCC");
    const struct
    {
        const char *pszAddr;
        std::optional<size_t> nRow;
    } kSteps[] = {
        {"bbbbbbbbbbbb", 5},      // its own row, any notation
        {"DDDDDDDDDDDD", 3},      // the next free row that names no module
        {"CC:CC:CC:CC:CC:CC", 2}, // back again: the row it had
        {"EEEEEEEEEEEE", 4},      {"FFFFFFFFFFFF", std::nullopt}, // none left
        {"DDDDDDDDDDDD", 3},                                      // a retry keeps its row
        {"aa:aa:aa:aa:aa:aa", 1},
    };
    for (const auto &step : kSteps)
        EXPECT_EQ(picker.Take(step.pszAddr), step.nRow) << step.pszAddr;
}
