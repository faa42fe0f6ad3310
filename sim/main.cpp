// kestrel-sim: a module on a pseudo-terminal, for trying the tool without hardware.
#include "sim/ModuleSim.h"
#include "sim/SimArguments.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

namespace {

// CR and LF are shown escaped so one command stays on one line of the log.
void PrintCommand(const SimLogEntry &entry, std::chrono::steady_clock::time_point start)
{
    const auto nMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(entry.time - start).count();
    std::string strShown;
    for (char ch : entry.strCommand)
        strShown += ch == '\r'   ? std::string("\\r")
                    : ch == '\n' ? std::string("\\n")
                                 : std::string(1, ch);
    std::fprintf(stderr, "[%6lld.%03lld] %s\n", static_cast<long long>(nMs / 1000),
                 static_cast<long long>(nMs % 1000), strShown.c_str());
}

} // namespace

int main(int argc, char **argv)
{
    SimOptions options;
    SimState state;
    const int nParsed = ParseSimArguments(argc, argv, options, state);
    if (nParsed != 0)
        return nParsed == 1 ? 0 : 2;
    // Blocked before any thread starts, so only sigtimedwait below ever sees them.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    CModuleSim sim(options);
    sim.SetState(state);
    if (!sim.Start()) {
        std::fprintf(stderr, "kestrel-sim: cannot create the pseudo-terminal or link: %s\n",
                     std::strerror(errno));
        return 1;
    }
    std::printf("%s\n", sim.DevicePath().c_str());
    std::fflush(stdout);
    const auto start = std::chrono::steady_clock::now();
    size_t nShown = 0;
    const timespec poll{0, 100 * 1000 * 1000};
    while (sigtimedwait(&signals, nullptr, &poll) < 0) {
        const std::vector<SimLogEntry> log = sim.Log();
        for (; nShown < log.size(); ++nShown)
            PrintCommand(log[nShown], start);
    }
    sim.Stop();
    return 0;
}
