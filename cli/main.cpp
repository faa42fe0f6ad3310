// kestrel-cli: the window's engine for scripts and production lines.

#include "cli/CliOptions.h"
#include "cli/CliPlatform.h"
#include "cli/Pair.h"
#include "cli/PortSession.h"
#include "cli/Provision.h"
#include "engine/ConfigFile.h"
#include "engine/ModuleSetupEngine.h"
#include "protocol/GbkText.h"
#include "serial/PortList.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <iostream>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <thread>
#include <unistd.h>

namespace {

const auto g_startTime = std::chrono::steady_clock::now(); // --trace counts from here
std::mutex g_traceOrder; // the ports' trace lines in one time order; taken before g_outputLock
std::mutex g_outputLock; // lines from several ports must not interleave
bool g_bProgressShown = false; // guarded by g_outputLock

// Wipes the progress line so that what follows starts on a clean line (g_outputLock held).
void ClearProgressLine()
{
    if (g_bProgressShown)
        std::cerr << "\r\033[K";
}

std::string FromGbk(const std::string &strGbk)
{
    return GbkToUtf8(strGbk);
}

void PrintError(const std::string &strText)
{
    std::lock_guard<std::mutex> lock(g_outputLock);
    ClearProgressLine();
    std::cerr << "kestrel-cli: " << strText << std::endl;
}

// What the system knows of each device: an empty fact is left out of the text and null in JSON.
int ListPorts(bool bJson)
{
    const std::vector<CSerialPortEntry> ports = ListSerialPorts();
    nlohmann::ordered_json jsonPorts = nlohmann::ordered_json::array();
    for (const CSerialPortEntry &port : ports) {
        const std::pair<const char *, const std::string *> facts[] = {
            {"manufacturer", &port.strManufacturer},
            {"usb_id", &port.strUsbId},
            {"serial_number", &port.strSerialNumber},
            {"by_id", &port.strById},
            {"by_path", &port.strByPath}};
        if (bJson) {
            const auto text = [](const std::string &strValue) {
                return strValue.empty() ? nlohmann::ordered_json()
                                        : nlohmann::ordered_json(strValue);
            };
            nlohmann::ordered_json json = {{"path", port.strPath},
                                           {"description", text(port.strDescription)}};
            for (const auto &[pszKey, pValue] : facts)
                json[pszKey] = text(*pValue);
            jsonPorts.push_back(json);
            continue;
        }
        // The first line as before: the path, then the description after a tab.
        std::cout << port.strPath;
        if (!port.strDescription.empty())
            std::cout << "\t" << port.strDescription;
        std::cout << "\n";
        for (const auto &[pszKey, pValue] : facts) {
            if (!pValue->empty())
                std::cout << "  " << pszKey << ": " << *pValue << "\n";
        }
    }
    if (bJson)
        std::cout << jsonPorts.dump(2) << "\n";
    if (ports.empty())
        std::cerr << "kestrel-cli: no serial devices found\n";
    return EXIT_CLI_OK;
}

nlohmann::ordered_json ProbeToJson(const CPortReport &report)
{
    return {{"port", report.strPort},
            {"line_rate", report.nLineRate != 0 ? nlohmann::ordered_json(report.nLineRate)
                                                : nlohmann::ordered_json(nullptr)}};
}

nlohmann::ordered_json ReportToJson(const CPortReport &report)
{
    nlohmann::ordered_json json = {{"port", report.strPort},
                                   {"ok", report.nExitCode == EXIT_CLI_OK},
                                   {"status", report.strStatus},
                                   {"end", report.strEnd}};
    if (!report.strError.empty())
        json["error"] = report.strError;
    json["params"] = ParamsToJson(report.params, report.strLocalAddr);
    return json;
}

// "name: value" lines of the query, in the order the window shows them.
void PrintParams(const CPortReport &report, const std::string &strPrefix)
{
    const nlohmann::ordered_json params = ParamsToJson(report.params, report.strLocalAddr);
    for (const auto &[strKey, value] : params.items()) {
        if (value.is_object()) {
            for (const auto &[strSub, subValue] : value.items())
                std::cout << strPrefix << strKey << "." << strSub << ": "
                          << (subValue.is_null() ? "" : subValue.dump()) << "\n";
        } else {
            std::string strValue = value.is_string() ? value.get<std::string>()
                                   : value.is_null() ? ""
                                                     : value.dump();
            std::cout << strPrefix << strKey << ": " << strValue << "\n";
        }
    }
}

void PrintReport(const CPortReport &report, const CliOptions &options, bool bPrefix)
{
    const std::string strPrefix = bPrefix ? report.strPort + ": " : "";
    if (report.nExitCode != EXIT_CLI_OK && !report.strError.empty())
        PrintError(strPrefix + report.strError);
    if (options.action == CliAction::Query && report.nExitCode == EXIT_CLI_OK && !options.bJson)
        PrintParams(report, strPrefix);
    if (options.action == CliAction::Set) {
        for (const std::string &strLine : report.lines)
            std::cout << strPrefix << FromGbk(strLine.substr(0, strLine.size() - 2)) << "\n";
    }
    if (options.action == CliAction::Probe && report.nExitCode == EXIT_CLI_OK && !options.bJson)
        std::cout << strPrefix << report.nLineRate << "\n";
    if (options.action != CliAction::Query && options.action != CliAction::Search &&
        options.action != CliAction::Probe && options.action != CliAction::Send &&
        !report.strStatus.empty() && report.nExitCode == EXIT_CLI_OK)
        std::cerr << strPrefix << report.strStatus << "\n";
}

// A line on stderr that tells how far a long run is (several ports, a search), redrawn while it
// lasts, only when someone watches a terminal. Other output clears it first (ClearProgressLine).
class CProgress
{
public:
    CProgress(size_t nPorts, bool bSearch)
        : m_nPorts(nPorts), m_bShow(isatty(STDERR_FILENO) && (nPorts > 1 || bSearch))
    {
        if (m_bShow) {
            g_bProgressShown = true;
            m_ticker = std::thread([this] { Tick(); });
        }
    }

    ~CProgress() { Stop(); }

    void PortDone() { ++m_nDone; }
    void DeviceFound() { ++m_nFound; }

    void Stop()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_bStopped = true;
        }
        m_stopped.notify_all();
        if (m_ticker.joinable())
            m_ticker.join();
        std::lock_guard<std::mutex> lock(g_outputLock);
        ClearProgressLine();
        g_bProgressShown = false;
    }

private:
    void Tick()
    {
        const auto start = std::chrono::steady_clock::now();
        std::unique_lock<std::mutex> lock(m_mutex);
        while (!m_stopped.wait_for(lock, kRedraw, [this] { return m_bStopped; })) {
            const auto nSeconds = std::chrono::duration_cast<std::chrono::seconds>(
                                      std::chrono::steady_clock::now() - start)
                                      .count();
            std::lock_guard<std::mutex> output(g_outputLock);
            ClearProgressLine();
            std::cerr << m_nDone << "/" << m_nPorts << " ports done, " << m_nFound
                      << " devices found, " << nSeconds << " s" << std::flush;
        }
    }

    static constexpr std::chrono::milliseconds kRedraw{500};
    size_t m_nPorts;
    bool m_bShow;
    std::atomic<size_t> m_nDone{0};
    std::atomic<size_t> m_nFound{0};
    std::mutex m_mutex;
    std::condition_variable m_stopped;
    bool m_bStopped = false;
    std::thread m_ticker;
};

int RunPorts(const CliOptions &options)
{
    const bool bSeveral = options.ports.size() > 1;
    std::vector<CPortReport> reports(options.ports.size());
    std::vector<std::thread> workers;
    CProgress progress(options.ports.size(), options.action == CliAction::Search);
    for (size_t i = 0; i < options.ports.size(); ++i) {
        workers.emplace_back([&, i] {
            CPortSession session(options.ports[i], options);
            session.SetMessageSink(
                [bSeveral](const std::string &strPort, const std::string &strText) {
                    PrintError((bSeveral ? strPort + ": " : "") + strText);
                });
            session.SetDeviceSink(
                [bSeveral, &progress](const std::string &strPort, const std::string &strEntry) {
                    progress.DeviceFound();
                    std::lock_guard<std::mutex> lock(g_outputLock);
                    ClearProgressLine();
                    std::cout << (bSeveral ? strPort + ": " : "") << FromGbk(strEntry) << std::endl;
                });
            if (options.action == CliAction::Send && !options.bJson)
                session.SetReplySink(
                    [bSeveral](const std::string &strPort, const std::string &strLine) {
                        std::lock_guard<std::mutex> lock(g_outputLock);
                        ClearProgressLine();
                        std::cout << (bSeveral ? strPort + ": " : "") << strLine << std::endl;
                    });
            if (options.bTrace)
                session.SetTraceSink(
                    [bSeveral](const std::string &strPort, const CTraceEntry &entry) {
                        std::lock_guard<std::mutex> lock(g_outputLock);
                        ClearProgressLine();
                        std::cerr << FormatTraceLine(entry, g_startTime, bSeveral ? strPort : "")
                                  << std::endl;
                    },
                    &g_traceOrder);
            reports[i] = session.Run();
            progress.PortDone();
        });
    }
    for (std::thread &worker : workers)
        worker.join();
    progress.Stop();

    int nExitCode = EXIT_CLI_OK;
    bool bChecklist = false;
    const bool bProbe = options.action == CliAction::Probe;
    nlohmann::ordered_json jsonReports = nlohmann::ordered_json::array();
    for (const CPortReport &report : reports) {
        PrintReport(report, options, bSeveral);
        jsonReports.push_back(bProbe ? ProbeToJson(report) : ReportToJson(report));
        nExitCode = std::max(nExitCode, report.nExitCode);
        bChecklist = bChecklist || report.bNoRateAnswered;
    }
    if (bChecklist)
        std::cerr << CModuleSetupEngine::ProbeChecklistText(EUiLanguage::English);
    if (options.bJson && options.action == CliAction::Send)
        WriteUtf8(std::cout, SendReportsToJson(reports).dump(2) + "\n");
    if (options.bJson && (options.action == CliAction::Query || bProbe))
        WriteUtf8(
            std::cout,
            (bSeveral ? nlohmann::ordered_json{{"ports", jsonReports}} : jsonReports[0]).dump(2) +
                "\n");
    return nExitCode;
}

} // namespace

bool AddSimulatedPort(CliOptions &options, std::shared_ptr<void> &pSim, std::string &strError)
{
    if (!options.bSimulate)
        return true;
    std::string strPath;
    if (!(pSim = StartSimulatedModule(strPath, strError)))
        return false;
    options.ports.push_back(strPath);
    return true;
}

int main(int argc, char **argv)
{
    PrepareConsole();
    SetUiLanguage(SystemUiLanguage());
    std::vector<std::string> args = CommandLineArguments(argc, argv);
    CliParseResult parsed = ParseCliArguments(args);
    if (!parsed.bOk) {
        std::cerr << "kestrel-cli: " << parsed.strError << "\n(see kestrel-cli --help)\n";
        return EXIT_CLI_USAGE;
    }
    CliOptions &options = parsed.options;
    if (options.action == CliAction::Help) {
        std::cout << CliUsageText();
        return EXIT_CLI_OK;
    }
    if (options.action == CliAction::Version) {
        std::cout << "kestrel-cli 4.2.5.0\n";
        return EXIT_CLI_OK;
    }
    if (options.action == CliAction::Ports)
        return ListPorts(options.bJson);
    if (options.action == CliAction::Provision)
        return RunProvision(options);
    if (options.action == CliAction::Pair)
        return RunPair(options);

    // Before any port opens: a text the module cannot hold stops everything, nothing is sent.
    if (const std::string strError = ConvertSetTextsToGbk(options.set); !strError.empty()) {
        std::cerr << "kestrel-cli: " << strError << "\n";
        return EXIT_CLI_USAGE;
    }
    if (const std::string strError = PrepareSendCommands(options); !strError.empty()) {
        std::cerr << "kestrel-cli: " << strError << "\n(nothing was sent)\n";
        return EXIT_CLI_USAGE;
    }
    if (!options.strFromFile.empty()) {
        if (const std::string strError = MergeConfigFile(options.set, options.strFromFile);
            !strError.empty()) {
            std::cerr << "kestrel-cli: " << strError << "\n(nothing was sent)\n";
            return EXIT_CLI_USAGE;
        }
    }
    std::shared_ptr<void> pSim;
    if (std::string strError; !AddSimulatedPort(options, pSim, strError)) {
        std::cerr << "kestrel-cli: " << strError << "\n";
        return EXIT_CLI_PORT;
    }
    return RunPorts(options);
}
