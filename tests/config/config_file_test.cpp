// Configuration files: what a query prints reads back as the same request, and every file the
// form would refuse is refused before anything is sent, naming the key.

#include "engine/ConfigFile.h"
#include "engine/ModuleParams.h"

#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>

namespace {

// Every settable field away from the factory defaults; the name holds two Chinese characters
// ("工位", GBK B9A4 CEBB) so that the conversion both ways is exercised.
ModuleParams UnusualParams()
{
    ModuleParams params;
    params.Name = "Line \xb9\xa4\xce\xbb";
    params.Version = "V4.25";
    params.Class = "001f00";
    params.Baud = "115200";
    params.Parity = 2;
    params.StopBits = 1;
    params.Role = 1;
    params.Bind = 1;
    params.Auth = 0;
    params.Password = "5566";
    params.ConnInterval = "2048";
    params.ConnDuration = "18";
    params.InqInterval = "1536";
    params.InqDuration = "20";
    params.SniffMax = "800";
    params.SniffMin = "80";
    params.SniffAttempt = "7";
    params.SniffTimeout = "9";
    params.BindAddr = "0012AB34CD56";
    return params;
}

CConfigReadResult Parse(const std::string &strParams)
{
    return ParseConfigText(R"({"port": "/dev/ttyUSB0", "ok": true, "status": "x", "params": )" +
                           strParams + "}");
}

} // namespace

TEST(ConfigFile, WhatAQueryPrintsReadsBackAsTheSameRequest)
{
    const ModuleParams params = UnusualParams();
    const CConfigReadResult result =
        ParseConfigText(FormatConfigText(params, "00158300A1B2", "/dev/ttyUSB0"));
    ASSERT_TRUE(result.bOk) << result.strError;
    // Every parameter that can be set is asked for, with the value the module reported; the
    // version cannot be set.
    ModuleParams expected = params;
    expected.Version.clear();
    EXPECT_EQ(result.values.params, expected);
    for (const CParamRow &row : ParamTable)
        EXPECT_EQ(result.values.Has(row), row.IsSettable()) << row.pszKey;
}

TEST(ConfigFile, NullsAndReadOnlyKeysSetNothing)
{
    const CConfigReadResult result =
        ParseConfigText(R"({"ports": [{"port": "a", "params": {"name": null, "version": "V9",
            "local_address": "00158300A1B2", "scan": null, "role": "slave"}}]})");
    ASSERT_TRUE(result.bOk) << result.strError;
    EXPECT_EQ(result.values.nAsked, ParamBit(ParamOf(&ModuleParams::Role)));
    EXPECT_EQ(result.values.params.Role, 0);
}

TEST(ConfigFile, RefusedFilesNameTheKeyAndGiveNoValues)
{
    const struct
    {
        const char *pszCase;
        std::string strText;
        const char *pszNamed; // what the message must name
    } kCases[] = {
        {"not JSON", R"({"params": {"name": "a",)", "line 1"},
        {"not an object", R"([1, 2])", "object"},
        {"unknown top key", R"({"parms": {}})", "parms"},
        {"no params", R"({"port": "a"})", "params"},
        {"failed run", R"({"ok": false, "params": {"name": "a"}})", "ok"},
        {"several reports", R"({"ports": [{"params": {}}, {"params": {}}]})", "ports"},
        {"unknown key", R"({"params": {"nmae": "a"}})", "params.nmae"},
        {"name not a text", R"({"params": {"name": 7}})", "params.name"},
        {"name blank", R"({"params": {"name": "   "}})", "params.name"},
        {"name over 20 GBK bytes", R"({"params": {"name": "一二三四五六七八九十一"}})",
         "params.name"},
        {"name not in GBK", R"({"params": {"name": "Lab 😀"}})", "params.name"},
        {"class of five", R"({"params": {"class": "12345"}})", "params.class"},
        {"baud not offered", R"({"params": {"baud": 14400}})", "params.baud"},
        {"baud negative", R"({"params": {"baud": -9600}})", "params.baud"},
        {"parity unknown", R"({"params": {"parity": "mark"}})", "params.parity"},
        {"stop bits three", R"({"params": {"stop_bits": 3}})", "params.stop_bits"},
        {"role unknown", R"({"params": {"role": "boss"}})", "params.role"},
        {"bind as text", R"({"params": {"bind": "yes"}})", "params.bind"},
        {"auth as number", R"({"params": {"auth": 1}})", "params.auth"},
        {"password over 16", R"({"params": {"password": "12345678901234567"}})", "params.password"},
        {"address of five", R"({"params": {"bind_address": "12345"}})", "params.bind_address"},
        {"scan member missing",
         R"({"params": {"scan": {"conn_interval": 1, "conn_duration": 1, "inq_interval": 1}}})",
         "inq_duration"},
        {"scan member unknown", R"({"params": {"scan": {"interval": 1}}})", "interval"},
        {"scan over 4096",
         R"({"params": {"scan": {"conn_interval": 5000, "conn_duration": 1, "inq_interval": 1,
             "inq_duration": 1}}})",
         "conn_interval"},
        {"scan duration over interval",
         R"({"params": {"scan": {"conn_interval": 100, "conn_duration": 200, "inq_interval": 1,
             "inq_duration": 1}}})",
         "params.scan"},
        {"sniff min over max",
         R"({"params": {"sniff": {"max": 0, "min": 80, "attempt": 8, "timeout": 8}}})",
         "params.sniff"},
        {"sniff over 32 bits",
         R"({"params": {"sniff": {"max": 4294967296, "min": 0, "attempt": 0, "timeout": 0}}})",
         "max"},
        {"sniff as fraction",
         R"({"params": {"sniff": {"max": 8.5, "min": 0, "attempt": 0, "timeout": 0}}})", "max"},
    };
    for (const auto &testCase : kCases) {
        const CConfigReadResult result = ParseConfigText(testCase.strText);
        EXPECT_FALSE(result.bOk) << testCase.pszCase;
        EXPECT_NE(result.strError.find(testCase.pszNamed), std::string::npos)
            << testCase.pszCase << ": " << result.strError;
        EXPECT_FALSE(result.values.Any()) << testCase.pszCase;
    }
}

TEST(ConfigFile, OptionsGivenOverrideTheFile)
{
    CConfigReadResult file = Parse(R"({"name": "From file", "role": "master", "bind": true})");
    ASSERT_TRUE(file.bOk) << file.strError;
    CSetValues options;
    options.Ask(&ModuleParams::Name, "From option");
    options.Ask(&ModuleParams::Bind, 0);
    MergeConfigUnder(options, file.values);
    EXPECT_EQ(options.params.Name, "From option");
    EXPECT_EQ(options.params.Bind, 0);
    EXPECT_TRUE(options.Has(ParamOf(&ModuleParams::Role)));
    EXPECT_EQ(options.params.Role, 1);
}

TEST(ConfigFile, VerifyNamesWhatTheModuleDoesNotHold)
{
    const ModuleParams asked = UnusualParams();
    CSetValues request;
    request.Ask(&ModuleParams::Name, asked.Name);
    request.Ask(&ModuleParams::Role, 1);
    for (auto pField : {&ModuleParams::ConnInterval, &ModuleParams::ConnDuration,
                        &ModuleParams::InqInterval, &ModuleParams::InqDuration})
        request.Ask(pField, asked.*pField);
    request.Ask(&ModuleParams::BindAddr, asked.BindAddr);
    request.Ask(&ModuleParams::Password, asked.Password);

    const struct
    {
        const char *pszCase;
        void (*pfnChange)(ModuleParams &);
        std::vector<std::string> keys; // the parameters named, in order
    } kCases[] = {
        {"held as asked", [](ModuleParams &) {}, {}},
        {"name and one scan value lost",
         [](ModuleParams &read) {
             read.Name = "CORVA3264";
             read.ConnDuration = "512";
         },
         {"name", "scan.conn_duration"}},
        {"role not read", [](ModuleParams &read) { read.Role = -1; }, {"role"}},
        {"address lost", [](ModuleParams &read) { read.BindAddr.clear(); }, {"bind_address"}},
        // Not asked for: a different class is not the request's business.
        {"class differs", [](ModuleParams &read) { read.Class = "000000"; }, {}},
        // Authentication off: Set writes no password, so none is compared.
        {"password differs", [](ModuleParams &read) { read.Password = "7391"; }, {}},
    };
    for (const auto &testCase : kCases) {
        ModuleParams read = asked;
        testCase.pfnChange(read);
        std::vector<std::string> keys;
        for (const CVerifyMismatch &mismatch : CompareAskedWithRead(request, asked, read))
            keys.push_back(mismatch.strKey);
        EXPECT_EQ(keys, testCase.keys) << testCase.pszCase;
    }

    ModuleParams read = asked;
    read.Name = "CORVA3264";
    const std::vector<CVerifyMismatch> mismatches = CompareAskedWithRead(request, asked, read);
    ASSERT_EQ(mismatches.size(), 1u);
    EXPECT_EQ(mismatches[0].strAsked, "\"Line 工位\"");
    EXPECT_EQ(mismatches[0].strRead, "\"CORVA3264\"");

    ModuleParams unbound = asked;
    unbound.Bind = 0; // the address is not written without binding
    read = unbound;
    read.BindAddr.clear();
    EXPECT_TRUE(CompareAskedWithRead(request, unbound, read).empty());
}

// Any text gives values or one error that says where: nesting and key counts beyond what a file
// holds are refused before the parser builds anything, and a number too large for a double is
// an error with its position, not an exception.
TEST(ConfigFile, HostileTextsAreRefusedWithAPosition)
{
    std::string strManyKeys = R"({"params": {)";
    for (int i = 0; i < 65; ++i)
        strManyKeys += "\"k" + std::to_string(i) + "\": 0,";
    strManyKeys.back() = '}';
    const struct
    {
        const char *pszCase;
        std::string strText;
        const char *pszNamed;
    } kCases[] = {
        {"number overflow", R"({"params": {"baud": 1e400}})", "line 1, column 21: number overflow"},
        {"arrays 100000 deep", std::string(100000, '['), "line 1, column 33: nested deeper"},
        {"objects 100000 deep",
         [] {
             std::string strText;
             for (int i = 0; i < 100000; ++i)
                 strText += "{\"a\":";
             return strText;
         }(),
         "line 1, column 161: nested deeper"},
        {"65 keys", strManyKeys + "}", "an object with more than 64 keys"},
    };
    for (const auto &testCase : kCases) {
        const CConfigReadResult result = ParseConfigText(testCase.strText);
        EXPECT_FALSE(result.bOk) << testCase.pszCase;
        EXPECT_NE(result.strError.find(testCase.pszNamed), std::string::npos)
            << testCase.pszCase << ": " << result.strError;
    }
}

// A file over 1 MiB is refused without being read whole; one just at the limit is parsed.
TEST(ConfigFile, FilesOverOneMebibyteAreRefused)
{
    const std::string strPath = ::testing::TempDir() + "kestrel_config_size.json";
    const std::string strBody = R"({"params": {"name": "Big"}})";
    for (const size_t nSize : {size_t{1024 * 1024}, size_t{1024 * 1024 + 1}}) {
        {
            std::ofstream file(strPath, std::ios::binary);
            file << strBody << std::string(nSize - strBody.size(), ' ');
        }
        const CConfigReadResult result = LoadConfigFile(strPath);
        EXPECT_EQ(result.bOk, nSize == 1024 * 1024) << nSize << ": " << result.strError;
        EXPECT_EQ(result.strError.find("larger than 1 MiB") != std::string::npos, !result.bOk)
            << result.strError;
    }
    std::remove(strPath.c_str());
}
