#include "cli/ProvisionUnit.h"

#include "cli/PortSession.h"
#include "engine/ConfigFile.h"
#include "protocol/GbkText.h"
#include "serial/PortList.h"

#include <filesystem>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
using Json = nlohmann::ordered_json;

constexpr std::chrono::milliseconds kPermissionRetry{100};
constexpr const char kByIdFolder[] = "/dev/serial/by-id/";

std::string CanonicalPath(const std::string &strPath)
{
    std::error_code error;
    const std::filesystem::path canonical = std::filesystem::canonical(strPath, error);
    return error ? strPath : canonical.string();
}

// The adapter's /dev/serial/by-id name, looked up now: the system makes it a moment after the
// node, so at the device's appearance it may not be there yet.
std::string StableNameOf(const std::string &strPort)
{
    if (strPort.rfind(kByIdFolder, 0) == 0)
        return strPort;
    const std::string strNode = CanonicalPath(strPort);
    for (const CSerialPortEntry &entry : ListSerialPorts()) {
        if (!entry.strById.empty() && (entry.strPath == strPort || entry.strPath == strNode))
            return entry.strById;
    }
    return {};
}

CEngineSession::CSetup SessionSetup(const CWorkSetup &setup)
{
    CEngineSession::CSetup session;
    session.dTimerScale = setup.dTimerScale;
    session.bContinueOnError = setup.bContinueOnError;
    return session;
}

} // namespace

Json AskedJson(const CSetValues &values)
{
    const Json all = ParamsToJson(values.params, {});
    Json asked = Json::object();
    for (const CParamRow &row : ParamTable) {
        if (values.Has(row))
            asked[row.pszKey] = all[row.pszKey];
    }
    return asked;
}

CModuleWork::CModuleWork(std::string strPort, const CWorkSetup &setup)
    : m_strPort(std::move(strPort)), m_setup(setup), m_session(SessionSetup(setup))
{
    if (setup.fnTrace)
        m_session.TraceTo(m_strPort, setup.fnTrace);
}

bool CModuleWork::Open()
{
    const Clock::time_point giveUp = Clock::now() + m_setup.permissionGrace;
    while (!m_session.Open(m_strPort, m_setup.line)) {
        const COpenFailureInfo &failure = m_session.LastOpenFailure();
        if (failure.eFailure != OpenFailure::NoPermission || Clock::now() >= giveUp)
            return Fail(UnitEndName(EUnitEnd::OpenFailed), DescribeOpenError(m_strPort, failure));
        std::this_thread::sleep_for(kPermissionRetry);
    }
    return true;
}

bool CModuleWork::Read()
{
    m_nLineRate = m_setup.line.nRate;
    if (m_nLineRate == kAutoLineRate) {
        m_nLineRate = m_session.Probe();
        if (m_nLineRate == 0 && m_session.Lost())
            return Ended(std::nullopt);
        if (m_nLineRate == 0)
            return Fail(UnitEndName(EUnitEnd::NoLineRate),
                        "no line rate answered \"AT\" with \"OK\"");
    }
    m_bQueried = true;
    if (!Ended(m_session.Query()))
        return false;
    m_strAddr = m_session.Engine().FormMembers().m_strLocalAddr;
    m_strVersion = GbkToUtf8(m_session.Engine().LastRead().Version);
    return true;
}

bool CModuleWork::Write(const CSetValues &values)
{
    const CSetPlan plan = m_session.Engine().PlanSet(values);
    if (!plan.strRefusal.empty())
        return Fail(RunEndName(ERunEnd::FormRefused), plan.strRefusal);
    const std::optional<CRunEnd> end = m_session.Set(values);
    m_bWrote = !m_session.WrittenByLastAction().empty();
    return Ended(end);
}

bool CModuleWork::Verify(const CSetValues &values)
{
    if (!ReadAgain())
        return false;
    const std::vector<CVerifyMismatch> mismatches = m_session.MismatchesWith(values);
    return mismatches.empty() ||
           Fail(UnitEndName(EUnitEnd::VerifyMismatch), DescribeMismatches(mismatches));
}

bool CModuleWork::ReadAgain()
{
    return Ended(m_session.QueryAfresh());
}

bool CModuleWork::Fail(std::string strEnd, std::string strText)
{
    // The first failure is the cause; what follows from it is not.
    if (!m_bFailed) {
        m_bFailed = true;
        m_strEnd = std::move(strEnd);
        m_strText = std::move(strText);
    }
    return false;
}

bool CModuleWork::Ended(const std::optional<CRunEnd> &end)
{
    if (end && end->Succeeded())
        return true;
    // The port went away before the engine could say how the action ended.
    const CRunEnd ended = end.value_or(CRunEnd(ERunKind::Query, ERunEnd::PortLost));
    const std::string strText = RunEndStatusText(ended);
    return Fail(RunEndName(ended.eEnd), strText.empty() ? RunEndName(ended.eEnd) : strText);
}

void CModuleWork::FillRecord(CLedgerUnit &record, const CSetValues *pAsked)
{
    record.strPort = m_strPort;
    record.strById = StableNameOf(m_strPort);
    record.nLineRate = m_nLineRate == kAutoLineRate ? 0 : m_nLineRate;
    record.strAddr = m_strAddr;
    record.strVersion = m_strVersion;
    record.asked = pAsked ? AskedJson(*pAsked) : Json();
    record.read = m_bQueried ? ParamsToJson(m_session.Engine().LastRead(),
                                            m_session.Engine().FormMembers().m_strLocalAddr)
                             : Json();
    record.eResult = m_bFailed ? EUnitResult::Failed : EUnitResult::Passed;
    record.strEnd = m_strEnd;
    record.strText = m_strText;
}

namespace {

// One unit of a provisioning run, step by step; the first step that fails ends it.
class CProvisionUnit
{
public:
    CProvisionUnit(const std::string &strPort, const CUnitPlan &plan)
        : m_work(strPort, plan.work), m_plan(plan)
    {}

    CUnitOutcome Run()
    {
        if (m_work.Open() && m_work.Read() && !Skipped() && Claim() && MakeValues() &&
            m_work.Write(m_values))
            m_work.Verify(m_values);
        Record();
        return m_outcome;
    }

private:
    // A module the ledger holds as passed is left as it is.
    bool Skipped()
    {
        m_bSkipped = !m_plan.bAgain && m_plan.pLedger->HasPassed(m_work.Address());
        return m_bSkipped;
    }

    // The unit's row and counter value, on the disk before anything is written to the module,
    // so that no value is handed out twice whatever happens next.
    bool Claim()
    {
        if (m_plan.pRows) {
            m_nRow = m_plan.pRows->Take(m_work.Address());
            if (!m_nRow)
                return m_work.Fail(UnitEndName(EUnitEnd::NoUnitsRow),
                                   "every row of the units file has gone to a unit");
        }
        std::string strError;
        m_nCounter = m_plan.pLedger->Claim({m_work.Port(), m_work.Address(), m_nRow}, strError);
        if (!m_nCounter) {
            m_outcome.strLedgerError = strError;
            return m_work.Fail(UnitEndName(EUnitEnd::LedgerFailed), strError);
        }
        m_values = m_plan.base;
        m_bClaimed = true;
        return true;
    }

    // Each template filled in for this unit and put through the checks any typed text meets.
    bool MakeValues()
    {
        const CUnitFacts facts{m_work.Address(), *m_nCounter, m_plan.pUnits, m_nRow.value_or(0)};
        for (const auto &[pRow, unitTemplate] : m_plan.templates) {
            const std::string strOption = pRow->pszOption;
            const CTemplateExpansion expansion = unitTemplate.Expand(facts);
            GbkFieldText text = CheckGbkFieldText(strOption, expansion.strText);
            std::string strWhy =
                !expansion.bOk ? strOption + ": " + expansion.strError : text.strError;
            if (strWhy.empty() && pRow->nMaxBytes != 0 && text.strGbk.size() > pRow->nMaxBytes)
                strWhy = strOption + ": \"" + expansion.strText + "\" is " +
                         std::to_string(text.strGbk.size()) +
                         " bytes in GBK, the module takes at most " +
                         std::to_string(pRow->nMaxBytes);
            if (!strWhy.empty())
                return m_work.Fail(UnitEndName(EUnitEnd::TemplateRefused), strWhy);
            m_values.Ask(pRow->pText, std::move(text.strGbk));
        }
        return true;
    }

    void Record()
    {
        CLedgerUnit &record = m_outcome.record;
        m_work.FillRecord(record, m_bClaimed ? &m_values : nullptr);
        record.nCounter = m_nCounter;
        record.nCsvRow = m_nRow;
        if (m_bSkipped) {
            record.eResult = EUnitResult::Skipped;
            record.strEnd = UnitEndName(EUnitEnd::AlreadyPassed);
            record.strText = "the ledger holds it as passed (--again does it again)";
        }
        if (m_bClaimed && m_values.Has(ParamOf(&ModuleParams::Name)))
            m_outcome.strName = GbkToUtf8(m_values.params.Name);
        std::string strError;
        if (!m_plan.pLedger->Append(record, strError) && m_outcome.strLedgerError.empty())
            m_outcome.strLedgerError = strError;
    }

    CModuleWork m_work;
    const CUnitPlan &m_plan;
    CUnitOutcome m_outcome;
    CSetValues m_values;
    std::optional<uint64_t> m_nCounter;
    std::optional<size_t> m_nRow;
    bool m_bSkipped = false;
    bool m_bClaimed = false;
};

} // namespace

CUnitOutcome RunProvisionUnit(const std::string &strPort, const CUnitPlan &plan)
{
    return CProvisionUnit(strPort, plan).Run();
}
