#include "cli/Provision.h"

#include "cli/CliPlatform.h"
#include "cli/LineConsole.h"
#include "cli/ProvisionUnit.h"
#include "engine/ConfigFile.h"

#include <iostream>
#include <memory>

namespace {

// The parameters whose options take a per-unit template.
const CParamRow *const kTemplatedRows[] = {&ParamOf(&ModuleParams::Name),
                                           &ParamOf(&ModuleParams::Password),
                                           &ParamOf(&ModuleParams::Class)};

// Everything a run needs, read and checked before any port opens.
struct CProvisionSetup
{
    CUnitPlan plan;
    std::unique_ptr<CUnitsCsv> pUnits;
    std::unique_ptr<CUnitsRowPicker> pRows;
    std::unique_ptr<CLedger> pLedger;
};

// --name, --password and --class become templates; the other values are every unit's.
std::string TakeTemplates(CliOptions &options, CUnitPlan &plan)
{
    for (const CParamRow *pRow : kTemplatedRows) {
        if (!options.set.Has(*pRow))
            continue;
        CUnitTemplateParse parsed = CUnitTemplate::Parse(options.set.params.*pRow->pText);
        if (!parsed.bOk)
            return std::string(pRow->pszOption) + ": " + parsed.strError;
        plan.templates.emplace_back(pRow, std::move(parsed.unitTemplate));
        options.set.nAsked &= ~ParamBit(*pRow);
    }
    return {};
}

// The options' values in GBK, with the profile's under them.
std::string TakeValues(const CliOptions &options, CUnitPlan &plan)
{
    plan.base = options.set;
    if (std::string strError = ConvertSetTextsToGbk(plan.base); !strError.empty())
        return strError;
    if (!options.strFromFile.empty()) {
        if (std::string strError = MergeConfigFile(plan.base, options.strFromFile);
            !strError.empty())
            return strError;
    }
    if (plan.base.Has(ParamOf(&ModuleParams::Baud)) && BaudIndex(plan.base.params.Baud) < 0)
        return "unsupported baud rate " + plan.base.params.Baud;
    return {};
}

// The units file, when one is given, must hold every column a template reads.
std::string TakeUnits(const CliOptions &options, CProvisionSetup &setup)
{
    const std::string &strPath = options.production.strUnitsFile;
    if (!strPath.empty()) {
        CUnitsCsvRead read = LoadUnitsCsv(strPath);
        if (!read.bOk)
            return read.strError;
        setup.pUnits = std::make_unique<CUnitsCsv>(std::move(read.units));
        setup.plan.pUnits = setup.pUnits.get();
    }
    for (const auto &[pRow, unitTemplate] : setup.plan.templates) {
        const std::vector<std::string> columns = unitTemplate.CsvColumns();
        if (columns.empty())
            continue;
        if (!setup.pUnits)
            return std::string(pRow->pszOption) + " reads {csv:" + columns.front() +
                   "}: give the units file with --units FILE";
        if (std::string strMissing = setup.pUnits->MissingColumn(columns); !strMissing.empty())
            return std::string(pRow->pszOption) + ": " + strPath + ": " + strMissing;
        if (!setup.pRows)
            setup.pRows = std::make_unique<CUnitsRowPicker>(*setup.pUnits);
        setup.plan.pRows = setup.pRows.get();
    }
    return {};
}

// The ledger, locked for this run; the counter and the units file's rows go on from what it
// holds, and a template that would outgrow its parameter with them is refused now.
std::string TakeLedger(const CliOptions &options, CProvisionSetup &setup)
{
    std::string strError;
    setup.pLedger =
        CLedger::Open(options.production.strLedger, options.production.nStart, strError);
    if (!setup.pLedger)
        return strError;
    setup.plan.pLedger = setup.pLedger.get();
    const CLedgerSummary summary = setup.pLedger->Summary();
    if (setup.pRows) {
        for (const auto &[nRow, strAddr] : summary.CsvRows())
            setup.pRows->MarkGiven(nRow, strAddr);
    }
    // A ledger with every value used refuses each claim; the templates are checked from the start.
    const uint64_t nNext = setup.pLedger->NextCounter().value_or(options.production.nStart);
    const CTemplateBounds bounds{nNext, std::nullopt, setup.plan.pUnits};
    for (const auto &[pRow, unitTemplate] : setup.plan.templates) {
        if (std::string strTooLong =
                CheckTemplateFits(pRow->pszOption, unitTemplate, pRow->nMaxBytes, bounds);
            !strTooLong.empty())
            return strTooLong;
    }
    return {};
}

std::string Prepare(CliOptions &options, CProvisionSetup &setup)
{
    CUnitPlan &plan = setup.plan;
    plan.work = WorkSetupOf(options);
    plan.bAgain = options.production.bAgain;
    // Each step in turn, the ledger last: it is created when it does not exist.
    std::string strError = TakeTemplates(options, plan);
    if (strError.empty())
        strError = TakeValues(options, plan);
    if (strError.empty())
        strError = TakeUnits(options, setup);
    return strError.empty() ? TakeLedger(options, setup) : strError;
}

// "#3 /dev/ttyUSB2  00158300A1B2  "Sensor-A1B2""
std::string UnitLine(const CDuePort &port, const CUnitOutcome &outcome)
{
    const CLedgerUnit &record = outcome.record;
    return "#" + std::to_string(port.nSlot) + " " + port.strPath + "  " +
           (record.strAddr.empty() ? "-" : record.strAddr) + "  " +
           (outcome.strName.empty() ? "-" : "\"" + outcome.strName + "\"");
}

void ReportUnit(CLineConsole &console, CProductionLine &line, const CDuePort &port,
                const CUnitOutcome &outcome)
{
    const CLedgerUnit &record = outcome.record;
    const std::string strWhy =
        record.eResult == EUnitResult::Failed
            ? record.strEnd + (record.strText.empty() ? "" : ": " + record.strText)
            : std::string();
    console.Result(record.eResult, UnitLine(port, outcome), strWhy);
    if (!outcome.strLedgerError.empty()) {
        // Without its ledger the line would hand out values it cannot keep: no new unit starts.
        console.RunFailed(outcome.strLedgerError + "; no further unit starts");
        line.Stop();
    }
}

} // namespace

int RunProvision(CliOptions options)
{
    CProvisionSetup setup;
    if (std::string strError = Prepare(options, setup); !strError.empty()) {
        std::cerr << "kestrel-cli: " << strError << "\n(nothing was sent)\n";
        return EXIT_CLI_USAGE;
    }
    std::shared_ptr<void> pSim;
    if (std::string strError; !AddSimulatedPort(options, pSim, strError)) {
        std::cerr << "kestrel-cli: " << strError << "\n";
        return EXIT_CLI_PORT;
    }
    CLineConsole console("units");
    if (options.bTrace)
        setup.plan.work.fnTrace = console.TraceSink();
    CProductionLine line(1, [&](const std::vector<CDuePort> &group) {
        console.UnitStarted();
        ReportUnit(console, line, group.front(),
                   RunProvisionUnit(group.front().strPath, setup.plan));
    });
    return RunProductionLine(line, options, options.ports, console, true);
}
