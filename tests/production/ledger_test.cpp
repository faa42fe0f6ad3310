// The ledger: records survive a reopen, a record cut short by a crash never counts and never
// swallows the next one, the counter never repeats, and one Kestrel at a time appends.

#include "cli/Ledger.h"
#include "tests/support/TempFolder.h"

#include <fstream>
#include <gtest/gtest.h>
#include <set>
#include <sstream>
#include <thread>

namespace {

using namespace std::chrono;

constexpr const char *kAddr = "00158300A1B2";

std::string ReadText(const std::string &strPath)
{
    std::ifstream file(strPath, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

void WriteText(const std::string &strPath, const std::string &strText)
{
    std::ofstream(strPath, std::ios::binary) << strText;
}

std::unique_ptr<CLedger> Opened(const std::string &strPath, uint64_t nStart = 1)
{
    std::string strError;
    std::unique_ptr<CLedger> pLedger = CLedger::Open(strPath, nStart, strError);
    EXPECT_NE(pLedger, nullptr) << strError;
    return pLedger;
}

CLedgerUnit Unit(const std::string &strAddr, EUnitResult eResult, uint64_t nCounter)
{
    CLedgerUnit unit;
    unit.strPort = "/dev/ttyUSB0";
    unit.strAddr = strAddr;
    unit.eResult = eResult;
    unit.nCounter = nCounter;
    unit.strEnd = "done";
    return unit;
}

} // namespace

TEST(Ledger, TimesAreUtcToTheMillisecond)
{
    const struct
    {
        int64_t nMillis;
        const char *pszTime;
    } kCases[] = {
        {0, "1970-01-01T00:00:00.000Z"},
        {951782400000, "2000-02-29T00:00:00.000Z"},
        {1714566896789, "2024-05-01T12:34:56.789Z"},
        {4102444799999, "2099-12-31T23:59:59.999Z"},
    };
    for (const auto &test : kCases)
        EXPECT_EQ(IsoTimeUtc(system_clock::time_point(milliseconds(test.nMillis))), test.pszTime);
}

TEST(Ledger, AUnitRecordHoldsEveryFactOnOneLine)
{
    CLedgerUnit unit = Unit(kAddr, EUnitResult::Failed, 17);
    unit.nLineRate = 38400;
    unit.strVersion = "V4.25";
    unit.asked = {{"name", "Sensor-A1B2"}};
    unit.read = {{"name", "Sensor"}};
    unit.nCsvRow = 3;
    unit.strEnd = UnitEndName(EUnitEnd::VerifyMismatch);
    unit.strText = "name:\n\xff"; // a line break and a byte that is not UTF-8
    const std::string strLine = LedgerUnitLine(unit, system_clock::time_point());
    EXPECT_EQ(strLine.find('\n'), std::string::npos);
    EXPECT_EQ(nlohmann::json::parse(strLine), nlohmann::json::parse(R"({"record": "unit",
        "time": "1970-01-01T00:00:00.000Z", "port": "/dev/ttyUSB0", "by_id": null,
        "line_rate": 38400, "addr": "00158300A1B2", "version": "V4.25",
        "asked": {"name": "Sensor-A1B2"}, "read": {"name": "Sensor"}, "counter": 17,
        "csv_row": 3, "result": "failed", "end": "verify_mismatch",
        "text": "name:\n\ufffd"})"));
}

TEST(Ledger, OnlyWholeRecordsCount)
{
    const std::string strPassed = R"({"record":"unit","addr":"00158300A1B2","result":"passed",)"
                                  R"("counter":4,"csv_row":2})";
    const struct
    {
        const char *pszCase;
        std::string strText;
        std::optional<uint64_t> nHighest;
        size_t nUnits;
        std::optional<EUnitResult> eLast; // of kAddr
    } kCases[] = {
        {"empty", "", std::nullopt, 0, std::nullopt},
        {"one unit", strPassed + "\n", 4, 1, EUnitResult::Passed},
        {"a last line without its newline", strPassed + "\n" + strPassed.substr(0, 20), 4, 1,
         EUnitResult::Passed},
        {"a whole record without its newline", R"({"record":"claim","counter":9})", std::nullopt, 0,
         std::nullopt},
        {"a broken line between records",
         strPassed + "\n{\"record\":\"unit\",\"addr\"\n" + R"({"record":"claim","counter":7})" +
             "\n",
         7, 1, EUnitResult::Passed},
        {"claims are not units",
         R"({"record":"claim","counter":12,"addr":"00158300A1B2"})"
         "\n",
         12, 0, std::nullopt},
        {"skipped keeps passed",
         strPassed + "\n" + R"({"record":"unit","addr":"00:15:83:00:a1:b2","result":"skipped"})" +
             "\n",
         4, 2, EUnitResult::Passed},
        {"failed after passed",
         strPassed + "\n" + R"({"record":"unit","addr":"00158300a1b2","result":"failed"})" + "\n",
         4, 2, EUnitResult::Failed},
        {"values of the wrong type",
         R"({"record":"unit","addr":5,"result":"passed","counter":-3})"
         "\n"
         R"({"record":"unit","addr":"00158300A1B2","result":true,"counter":"99"})"
         "\n"
         R"({"record":"other","counter":50})"
         "\n[1]\n",
         std::nullopt, 2, std::nullopt},
    };
    for (const auto &test : kCases) {
        const CLedgerSummary summary = CLedgerSummary::FromText(test.strText);
        EXPECT_EQ(summary.HighestCounter(), test.nHighest) << test.pszCase;
        EXPECT_EQ(summary.UnitCount(), test.nUnits) << test.pszCase;
        EXPECT_EQ(summary.LastResult(kAddr), test.eLast) << test.pszCase;
    }
}

TEST(Ledger, TheCounterGoesOnPastEveryValueOnTheDisk)
{
    const CTempFolder folder;
    const std::string strPath = folder.File("line.jsonl");
    std::string strError;
    {
        const std::unique_ptr<CLedger> pLedger = Opened(strPath, 5);
        EXPECT_EQ(pLedger->Claim({"/dev/ttyUSB0", kAddr, 2}, strError), 5u) << strError;
        EXPECT_EQ(pLedger->Claim({"/dev/ttyUSB1", "", std::nullopt}, strError), 6u) << strError;
        EXPECT_TRUE(pLedger->Append(Unit(kAddr, EUnitResult::Passed, 5), strError)) << strError;
    }
    // A crash in the middle of a claim: the cut line is not a record.
    WriteText(strPath, ReadText(strPath) + R"({"record":"claim","counter":4)");
    {
        const std::unique_ptr<CLedger> pLedger = Opened(strPath, 1);
        EXPECT_TRUE(pLedger->HasPassed("00:15:83:00:A1:B2"));
        EXPECT_EQ(pLedger->Summary().CsvRows(), (std::map<size_t, std::string>{{2, kAddr}}));
        EXPECT_EQ(pLedger->Claim({"/dev/ttyUSB0", "", std::nullopt}, strError), 7u) << strError;
    }
    EXPECT_EQ(Opened(strPath, 100)->Claim({"/dev/ttyUSB0", "", std::nullopt}, strError), 100u);

    // Every record is whole on its own line; the cut one stays a line of its own.
    std::istringstream lines(ReadText(strPath));
    std::vector<std::string> kinds;
    for (std::string strLine; std::getline(lines, strLine);) {
        const nlohmann::json record = nlohmann::json::parse(strLine, nullptr, false);
        kinds.push_back(record.is_discarded() ? "cut" : record["record"].get<std::string>());
    }
    EXPECT_EQ(kinds, (std::vector<std::string>{"claim", "claim", "unit", "cut", "claim", "claim"}));
}

TEST(Ledger, ClaimsFromManyPortsNeverShareAValue)
{
    const CTempFolder folder;
    const std::string strPath = folder.File("line.jsonl");
    const std::unique_ptr<CLedger> pLedger = Opened(strPath);
    std::vector<std::vector<uint64_t>> taken(4);
    std::vector<std::thread> threads;
    for (std::vector<uint64_t> &mine : taken) {
        threads.emplace_back([&pLedger, &mine] {
            std::string strError;
            for (int nUnit = 0; nUnit < 8; ++nUnit)
                mine.push_back(pLedger->Claim({"p", "", std::nullopt}, strError).value_or(0));
        });
    }
    for (std::thread &thread : threads)
        thread.join();
    std::set<uint64_t> values;
    for (const std::vector<uint64_t> &mine : taken)
        values.insert(mine.begin(), mine.end());
    EXPECT_EQ(values.size(), 32u);
    EXPECT_EQ(*values.begin(), 1u);
    EXPECT_EQ(*values.rbegin(), 32u);
    EXPECT_EQ(CLedgerSummary::FromText(ReadText(strPath)).HighestCounter(), 32u);
}

TEST(Ledger, ALedgerInUseOrUnusableIsRefusedNamingIt)
{
    const CTempFolder folder;
    const std::string strPath = folder.File("line.jsonl");
    std::unique_ptr<CLedger> pFirst = Opened(strPath);
    const struct
    {
        std::string strPath;
        std::string strNamed;
    } kCases[] = {
        {strPath, "the ledger " + strPath + " is in use by another Kestrel"},
        {folder.File("no-such-folder/x"),
         "cannot open the ledger " + folder.File("no-such-folder/x")},
        {folder.File(""), "cannot open the ledger " + folder.File("")},
    };
    for (const auto &test : kCases) {
        std::string strError;
        EXPECT_EQ(CLedger::Open(test.strPath, 1, strError), nullptr) << test.strPath;
        EXPECT_EQ(strError.substr(0, test.strNamed.size()), test.strNamed);
    }
    pFirst.reset(); // the lock goes with it
    EXPECT_NE(Opened(strPath), nullptr);
}
