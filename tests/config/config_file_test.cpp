// Configuration files: what a query prints reads back as the same request, and every file the
// form would refuse is refused before anything is sent, naming the key.

#include "dialog/ConfigFile.h"
#include "dialog/ModuleParams.h"

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
    const CSetValues &values = result.values;
    EXPECT_EQ(values.strName, params.Name);
    EXPECT_EQ(values.strClass, params.Class);
    EXPECT_EQ(values.strBaud, params.Baud);
    EXPECT_EQ(values.nParity, params.Parity);
    EXPECT_EQ(values.nStopBits, params.StopBits);
    EXPECT_EQ(values.nRole, params.Role);
    EXPECT_EQ(values.nBind, params.Bind);
    EXPECT_EQ(values.nAuth, params.Auth);
    EXPECT_EQ(values.strPassword, params.Password);
    EXPECT_EQ(values.scan, (std::vector<std::string>{"2048", "18", "1536", "20"}));
    EXPECT_EQ(values.sniff, (std::vector<std::string>{"800", "80", "7", "9"}));
    EXPECT_EQ(values.strBindAddr, params.BindAddr);
}

TEST(ConfigFile, NullsAndReadOnlyKeysSetNothing)
{
    const CConfigReadResult result =
        ParseConfigText(R"({"ports": [{"port": "a", "params": {"name": null, "version": "V9",
            "local_address": "00158300A1B2", "scan": null, "role": "slave"}}]})");
    ASSERT_TRUE(result.bOk) << result.strError;
    EXPECT_FALSE(result.values.strName);
    EXPECT_FALSE(result.values.scan);
    EXPECT_EQ(result.values.nRole, 0);
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
        EXPECT_FALSE(result.values.strName || result.values.nBind || result.values.scan)
            << testCase.pszCase;
    }
}

TEST(ConfigFile, OptionsGivenOverrideTheFile)
{
    CConfigReadResult file = Parse(R"({"name": "From file", "role": "master", "bind": true})");
    ASSERT_TRUE(file.bOk) << file.strError;
    CSetValues options;
    options.strName = "From option";
    options.nBind = 0;
    MergeConfigUnder(options, file.values);
    EXPECT_EQ(options.strName, "From option");
    EXPECT_EQ(options.nBind, 0);
    EXPECT_EQ(options.nRole, 1);
}

TEST(ConfigFile, VerifyNamesWhatTheModuleDoesNotHold)
{
    const ModuleParams asked = UnusualParams();
    CSetValues request;
    request.strName = asked.Name;
    request.nRole = 1;
    request.scan = {"2048", "18", "1536", "20"};
    request.strBindAddr = asked.BindAddr;
    request.strPassword = asked.Password;

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
