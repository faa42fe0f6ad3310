// The command line on Linux: the terminal speaks UTF-8 and the simulated module runs on a pty.

#include "cli/CliPlatform.h"
#include "sim/ModuleSim.h"

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
