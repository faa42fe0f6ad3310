// The line-rate probe: what counts as an answer, the order and waits of the rates, and the probe
// as a run of the engine that holds the line while it lasts.

#include "engine/LineProbe.h"
#include "serial/SerialLink.h"
#include "tests/engine/EngineTestSupport.h"

#include <gtest/gtest.h>

namespace {

using EStep = CLineProbe::EStep;

// The probe's rates are the line's rates and the module's, each once; 9600 first.
TEST(LineProbe, TriesEveryRateOfTheListOnceNineSixHundredFirst)
{
    std::vector<uint32_t> probe(std::begin(CLineProbe::kRates), std::end(CLineProbe::kRates));
    EXPECT_EQ(probe.front(), 9600u);
    std::sort(probe.begin(), probe.end());
    std::vector<uint32_t> module;
    for (const char *pszRate : BaudRateList)
        module.push_back(static_cast<uint32_t>(std::stoul(pszRate)));
    EXPECT_EQ(probe, module);
    EXPECT_EQ(probe, std::vector<uint32_t>(std::begin(kLineRates), std::end(kLineRates)));
}

struct CBytesCase
{
    const char *pszName;
    size_t nRateIndex;               // where the bytes arrive
    std::vector<std::string> chunks; // one after the other
    std::vector<EStep> steps;        // what each chunk leads to
};

constexpr EStep W = EStep::Wait;

// Only "\r\nOK\r\n" is an answer, in either case and however it is cut; at any rate after the
// first it must come twice.
TEST(LineProbe, OnlyAFramedOkAnswers)
{
    const CBytesCase kCases[] = {
        {"framed at 9600", 0, {"\r\nOK\r\n"}, {EStep::Found}},
        {"lower case", 0, {"\r\nok\r\n"}, {EStep::Found}},
        {"cut byte by byte", 0, {"\r", "\n", "O", "K", "\r", "\n"}, {W, W, W, W, W, EStep::Found}},
        {"behind an echo", 0, {"AT\r\n\r\nOK\r\n"}, {EStep::Found}},
        {"behind noise, in two", 0, {"\x93\xff\r\nO", "K\r\n"}, {W, EStep::Found}},
        {"unframed OK", 0, {"OK\r\n", "xOK\r\n", "\r\nOK", "x\r\n"}, {W, W, W, W}},
        {"OK without its CR", 0, {"\r\nOK\n", "\nOK\r\n"}, {W, W}},
        {"ERROR", 0, {"\r\nERROR\r\n"}, {W}},
        {"at 38400, twice", 1, {"\r\nOK\r\n", "\r\nOK\r\n"}, {EStep::Write, EStep::Found}},
        {"at 38400, once, then noise", 1, {"\r\nOK\r\n", "\xfe\r\nO\xfe"}, {EStep::Write, W}},
        {"at 38400, one chunk of two", 1, {"\r\nOK\r\n\r\nOK\r\n"}, {EStep::Write}},
    };
    for (const CBytesCase &c : kCases) {
        CLineProbe probe;
        probe.Start();
        for (size_t i = 0; i < c.nRateIndex; ++i)
            ASSERT_EQ(probe.OnTimeout(), EStep::NextRate);
        std::vector<EStep> steps;
        for (const std::string &strChunk : c.chunks)
            steps.push_back(probe.OnBytes(strChunk.data(), strChunk.size()));
        EXPECT_EQ(steps, c.steps) << c.pszName;
        EXPECT_EQ(probe.Rate(), CLineProbe::kRates[c.nRateIndex]) << c.pszName;
    }
}

// An answer half received at one rate does not complete at the next.
TEST(LineProbe, ARateChangeForgetsWhatCameBefore)
{
    CLineProbe probe;
    probe.Start();
    EXPECT_EQ(probe.OnBytes("\r\nO", 3), EStep::Wait);
    EXPECT_EQ(probe.OnTimeout(), EStep::NextRate);
    EXPECT_EQ(probe.OnBytes("K\r\n", 3), EStep::Wait);
    for (size_t i = 2; i < CLineProbe::kRateCount; ++i)
        EXPECT_EQ(probe.OnTimeout(), EStep::NextRate);
    EXPECT_EQ(probe.OnTimeout(), EStep::NotFound);
    EXPECT_FALSE(probe.IsRunning());
    EXPECT_EQ(probe.OnBytes("\r\nOK\r\n", 6), EStep::Wait);
}

// Nothing answers: each rate gets one "AT" and its own wait, in order; the checklist shows, the
// line goes back to 9600, and the first reading that was due does not come.
TEST(LineRateProbeRun, NothingAnswersWalksEveryRateThenShowsTheChecklist)
{
    CTestEngine engine;
    engine.m_line.m_nRefusedRate = 921600; // a port that cannot run at it: skipped at once
    engine->StartAutoQuery();
    ASSERT_TRUE(engine->StartLineProbe());
    EXPECT_TRUE(engine->IsRunWaiting());
    std::vector<uint32_t> waited; // the rates the probe waits at
    for (const uint32_t nRate : CLineProbe::kRates) {
        if (nRate != engine.m_line.m_nRefusedRate)
            waited.push_back(nRate);
    }
    for (size_t i = 0; i < waited.size(); ++i) {
        EXPECT_EQ(engine.m_written.size(), i + 1);
        engine.Advance(CLineProbe::WaitAt(waited[i]) - std::chrono::milliseconds(1));
        EXPECT_EQ(engine.m_written.size(), i + 1) << "left " << waited[i] << " early";
        engine.Advance(std::chrono::milliseconds(1));
    }
    std::vector<uint32_t> expected(std::begin(CLineProbe::kRates) + 1,
                                   std::end(CLineProbe::kRates));
    expected.push_back(9600);
    EXPECT_EQ(engine.m_line.m_rates, expected);
    EXPECT_EQ(engine.m_written, std::vector<std::string>(11, "AT\r\n")); // none at 921600
    EXPECT_EQ(engine.m_probeEnds, std::vector<uint32_t>{0});
    ASSERT_EQ(engine.m_messageBoxes.size(), 1u);
    EXPECT_EQ(engine.m_messageBoxes[0].strText,
              CModuleSetupEngine::ProbeChecklistText(EUiLanguage::Chinese) +
                  "检查后请点击“查询”重试。");
    EXPECT_EQ(engine.Status(), "没有检测到模块应答的串口波特率");
    EXPECT_FALSE(engine->IsRunWaiting());
    engine.Advance(std::chrono::seconds(5));
    EXPECT_EQ(engine.m_written.size(), 11u);
}

// While the probe holds the line every action that writes is refused, and the first reading,
// falling due meanwhile, waits; once a rate answered, the reading follows at that rate.
TEST(LineRateProbeRun, HoldsTheLineThenTheReadingFollows)
{
    CTestEngine engine(true); // the rate is to be found
    // A module at 230400, more than a second of waits into the probe; noise at any other rate.
    engine.m_fnModule = [&engine](const std::string &strCommand) {
        return engine.m_line.m_nRate == 230400 ? ScriptedModuleReply(strCommand)
                                               : std::string("\xfe\r\nO\xff");
    };
    engine->StartAutoQuery();
    bool bRefusalChecked = false;
    for (int i = 0; i < 400 && engine.Status() != "查询完成"; ++i) {
        engine.Advance(std::chrono::milliseconds(10));
        engine.Pump();
        if (!bRefusalChecked && engine->IsLineProbeRunning() && i > 110) {
            bRefusalChecked = true;
            EXPECT_FALSE(engine.m_form.Control(IDC_BUTTON_QUERY).bEnabled);
            const size_t nWritten = engine.m_written.size();
            engine->OnButtonSet();
            engine->OnButtonQuery();
            EXPECT_EQ(engine.m_written.size(), nWritten);
            ASSERT_EQ(engine.m_runEnds.size(), 2u);
            EXPECT_EQ(engine.m_runEnds[0].eEnd, ERunEnd::Busy);
            EXPECT_EQ(engine.m_runEnds[1].eEnd, ERunEnd::Busy);
        }
    }
    EXPECT_TRUE(bRefusalChecked);
    EXPECT_EQ(engine.m_probeEnds, std::vector<uint32_t>{230400});
    EXPECT_EQ(engine.m_line.m_rates, std::vector<uint32_t>(std::begin(CLineProbe::kRates) + 1,
                                                           std::begin(CLineProbe::kRates) + 9));
    std::vector<std::string> wire(10, "AT\r\n"); // eight rates once, 230400 twice
    for (const std::string &strCommand : QueryCommands())
        wire.push_back(strCommand);
    EXPECT_EQ(engine.m_written, wire);
    const auto found = std::find(engine.m_statusTexts.begin(), engine.m_statusTexts.end(),
                                 "检测到串口波特率：230400");
    ASSERT_NE(found, engine.m_statusTexts.end());
    EXPECT_EQ(found[1], "正在查询内嵌模块参数...");
    EXPECT_TRUE(engine.m_messageBoxes.empty());
}

// The port going away ends the probe without a word: no checklist, the gate opens.
TEST(LineRateProbeRun, LosingThePortEndsTheProbeQuietly)
{
    CTestEngine engine;
    ASSERT_TRUE(engine->StartLineProbe());
    engine->OnPortLost();
    EXPECT_FALSE(engine->IsLineProbeRunning());
    EXPECT_FALSE(engine->IsRunWaiting());
    EXPECT_TRUE(engine.m_form.Control(IDC_BUTTON_QUERY).bEnabled);
    engine.Advance(std::chrono::seconds(5));
    EXPECT_EQ(engine.m_written.size(), 1u);
    EXPECT_TRUE(engine.m_messageBoxes.empty());
    EXPECT_TRUE(engine.m_probeEnds.empty());
}

} // namespace
