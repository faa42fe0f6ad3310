#include "cli/Pair.h"

#include "cli/LineConsole.h"
#include "cli/PairUnits.h"
#include "protocol/GbkText.h"

#include <iostream>
#include <memory>

namespace {

// The password in GBK and the ledger, when one is given, before any port opens.
std::string Prepare(const CliOptions &options, CPairPlan &plan, std::unique_ptr<CLedger> &pLedger)
{
    plan.work = WorkSetupOf(options);
    if (options.set.Has(ParamOf(&ModuleParams::Password))) {
        const GbkFieldText password = CheckGbkFieldText("--password", options.set.params.Password);
        const size_t nMaxBytes = ParamOf(&ModuleParams::Password).nMaxBytes;
        if (!password.strError.empty())
            return password.strError;
        if (password.strGbk.empty() || password.strGbk.size() > nMaxBytes)
            return "--password takes 1 to " + std::to_string(nMaxBytes) + " bytes in GBK";
        plan.strPassword = password.strGbk;
    }
    std::string strError;
    if (!options.production.strLedger.empty() &&
        !(pLedger = CLedger::Open(options.production.strLedger, 1, strError)))
        return strError;
    plan.pLedger = pLedger.get();
    return {};
}

// "master 00158300A1B2 → slave 00158300A1B3", or which module failed and what each holds.
void ReportPair(CLineConsole &console, CProductionLine &line, const CPairOutcome &outcome)
{
    const auto address = [](const std::string &strAddr) { return strAddr.empty() ? "-" : strAddr; };
    const std::string strPair = "master " + address(outcome.strMasterAddr) + " \u2192 slave " +
                                address(outcome.strSlaveAddr);
    std::string strWhy = outcome.strWhy;
    for (const std::string &strHolding : outcome.holdings)
        strWhy += "\n  " + strHolding;
    console.Result(outcome.bPaired ? EUnitResult::Passed : EUnitResult::Failed, strPair, strWhy);
    if (!outcome.strLedgerError.empty()) {
        console.RunFailed(outcome.strLedgerError + "; no further pair starts");
        line.Stop();
    }
}

} // namespace

int RunPair(const CliOptions &options)
{
    CPairPlan plan;
    std::unique_ptr<CLedger> pLedger;
    if (std::string strError = Prepare(options, plan, pLedger); !strError.empty()) {
        std::cerr << "kestrel-cli: " << strError << "\n(nothing was sent)\n";
        return EXIT_CLI_USAGE;
    }
    CLineConsole console("pairs");
    if (options.bTrace)
        plan.work.fnTrace = console.TraceSink();
    CProductionLine line(2, [&](const std::vector<CDuePort> &group) {
        console.UnitStarted();
        ReportPair(console, line, RunPairUnits(group[0].strPath, group[1].strPath, plan));
    });
    line.m_fnWaiting = [&](const CDuePort &port) {
        console.Message("master " + port.strPath + ": plug in its slave");
    };
    line.m_fnAbandoned = [&](const std::vector<CDuePort> &group) {
        console.Message("master " + group.front().strPath + " had no slave; nothing was written");
    };
    // One pair's line says all a run on two ports did: no summary under it.
    return RunProductionLine(
        line, options, {options.production.strMaster, options.production.strSlave}, console, false);
}
