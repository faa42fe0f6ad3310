// Provisioning N simulated modules at once, one thread per module as the command line does with
// several ports: each thread reads its module and then sets name, baud rate and role, on a line
// paced at 9600 baud with a 20 ms reply delay. Wall time is set against the slowest module's own
// time; while the line and the module dominate, it should not grow with N.
#include "cli/PortSession.h"
#include "sim/ModuleSim.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <latch>
#include <memory>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using Millis = std::chrono::duration<double, std::milli>;

constexpr uint32_t kLineBaud = 9600;                 // bits per second
constexpr std::chrono::milliseconds kReplyDelay{20}; // the module thinks before each reply
constexpr char kTargetBaud[] = "19200";
constexpr int32_t kTargetRole = 1; // master

std::string ModuleName(size_t nModule)
{
    return "KESTREL-" + std::to_string(nModule);
}

// What one module's thread came to.
struct CModuleResult
{
    std::string strError;
    double dMs = 0;
    int nSetLines = 0; // lines the set run sent
};

// One module's whole provisioning on its own thread, from opening the port to closing it, through
// exactly the command line's session: a query run, then Set with the three new values.
void ProvisionModule(const std::string &strDevice, const std::string &strName,
                     CModuleResult &result)
{
    const Clock::time_point tStart = Clock::now();
    CliOptions options;
    options.action = CliAction::Set;
    options.set.Ask(&ModuleParams::Name, strName);
    options.set.Ask(&ModuleParams::Baud, kTargetBaud);
    options.set.Ask(&ModuleParams::Role, kTargetRole);
    CPortSession session(strDevice, options);
    const CPortReport report = session.Run();
    result.dMs = Millis(Clock::now() - tStart).count();
    result.nSetLines = static_cast<int>(report.lines.size());
    if (report.nExitCode != EXIT_CLI_OK)
        result.strError = report.strError.empty() ? report.strStatus : report.strError;
}

// The module must hold exactly what was asked for.
std::string CheckModule(const CModuleSim &sim, size_t nModule)
{
    const SimState simState = sim.State();
    if (simState.strName != ModuleName(nModule))
        return "module " + std::to_string(nModule) + " kept name " + simState.strName;
    if (std::to_string(simState.nBaud) != kTargetBaud)
        return "module " + std::to_string(nModule) + " kept baud " + std::to_string(simState.nBaud);
    if (simState.nRole != kTargetRole)
        return "module " + std::to_string(nModule) + " kept its role";
    return {};
}

double ProcessCpuMs()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto toMs = [](const timeval &tv) { return tv.tv_sec * 1000.0 + tv.tv_usec / 1000.0; };
    return toMs(usage.ru_utime) + toMs(usage.ru_stime);
}

// The figures of one round of N modules.
struct CRoundFigures
{
    double dWallMs = 0;
    double dSlowestMs = 0;
    double dCpuMs = 0; // the whole process: tool threads and the sims alike
    int nSetLines = 0; // per module
};

// Starts every module's thread at once and waits for them all.
std::vector<CModuleResult> RunThreads(std::vector<std::unique_ptr<CModuleSim>> &sims,
                                      CRoundFigures &figures)
{
    std::vector<CModuleResult> results(sims.size());
    std::vector<std::thread> threads;
    std::latch start(1);
    for (size_t i = 0; i < sims.size(); ++i) {
        threads.emplace_back([&, i, strDevice = sims[i]->DevicePath()] {
            start.wait();
            ProvisionModule(strDevice, ModuleName(i), results[i]);
        });
    }
    const double dCpuStartMs = ProcessCpuMs();
    const Clock::time_point tStart = Clock::now();
    start.count_down();
    for (std::thread &thread : threads)
        thread.join();
    figures.dWallMs = Millis(Clock::now() - tStart).count();
    figures.dCpuMs = ProcessCpuMs() - dCpuStartMs;
    return results;
}

// One round: N fresh modules at factory defaults, provisioned in parallel, then inspected.
std::string RunRound(size_t nModules, CRoundFigures &figures)
{
    SimOptions options;
    options.nPaceBaud = kLineBaud;
    options.replyDelay = kReplyDelay;
    std::vector<std::unique_ptr<CModuleSim>> sims;
    for (size_t i = 0; i < nModules; ++i) {
        sims.push_back(std::make_unique<CModuleSim>(options));
        if (!sims.back()->Start())
            return "cannot start a simulated module (no pseudo-terminal?)";
    }
    const std::vector<CModuleResult> results = RunThreads(sims, figures);
    for (size_t i = 0; i < nModules; ++i) {
        if (!results[i].strError.empty())
            return "module " + std::to_string(i) + ": " + results[i].strError;
        if (std::string strError = CheckModule(*sims[i], i); !strError.empty())
            return strError;
        figures.dSlowestMs = std::max(figures.dSlowestMs, results[i].dMs);
        figures.nSetLines = results[i].nSetLines;
    }
    return {};
}

void BM_ProvisionParallel(benchmark::State &state)
{
    const auto nModules = static_cast<size_t>(state.range(0));
    CRoundFigures total;
    for (auto _ : state) {
        CRoundFigures round;
        if (const std::string strError = RunRound(nModules, round); !strError.empty()) {
            state.SkipWithError(strError.c_str());
            return;
        }
        state.SetIterationTime(round.dWallMs / 1000.0);
        total.dWallMs += round.dWallMs;
        total.dSlowestMs += round.dSlowestMs;
        total.dCpuMs += round.dCpuMs;
        total.nSetLines = round.nSetLines;
    }
    const double dRounds = static_cast<double>(state.iterations());
    state.counters["modules"] = static_cast<double>(nModules);
    state.counters["set_lines"] = total.nSetLines;
    state.counters["wall_ms"] = total.dWallMs / dRounds;
    state.counters["slowest_module_ms"] = total.dSlowestMs / dRounds;
    state.counters["wall_per_slowest"] = total.dWallMs / total.dSlowestMs;
    // Cores kept busy on average, out of what the machine has.
    state.counters["cores_busy"] = total.dCpuMs / total.dWallMs;
}

} // namespace

BENCHMARK(BM_ProvisionParallel)
    ->ArgName("modules")
    ->Arg(1)
    ->Arg(2)
    ->Arg(4)
    ->Arg(8)
    ->Arg(16)
    ->Iterations(2)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
