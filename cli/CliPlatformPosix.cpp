// The command line on Linux: the terminal speaks UTF-8 and the simulated module runs on a pty.

#include "cli/CliPlatform.h"
#include "sim/ModuleSim.h"

#include <atomic>
#include <csignal>

namespace {

std::atomic<void (*)()> g_pfnInterrupt{nullptr};

void OnSignal(int)
{
    if (void (*pfnHandler)() = g_pfnInterrupt.load())
        pfnHandler();
}

} // namespace

std::vector<std::string> CommandLineArguments(int argc, char **argv)
{
    return std::vector<std::string>(argv + 1, argv + argc);
}

void PrepareConsole() {}

void WriteUtf8(std::ostream &out, const std::string &strText)
{
    out << strText << std::flush;
}

std::shared_ptr<void> StartSimulatedModule(std::string &strDevicePath, std::string &strError)
{
    auto pSim = std::make_shared<CModuleSim>();
    if (!pSim->Start()) {
        strError = "the simulated module could not start";
        return nullptr;
    }
    strDevicePath = pSim->DevicePath();
    return pSim;
}

EUiLanguage SystemUiLanguage()
{
    return ChooseUiLanguageFromEnvironment({});
}

void SetInterruptHandler(void (*pfnHandler)())
{
    g_pfnInterrupt.store(pfnHandler);
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART; // the serial link's reads and the ledger's writes go on
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}
