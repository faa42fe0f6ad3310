#include "cli/PairUnits.h"

#include "cli/UnitsCsv.h"
#include "protocol/GbkText.h"

namespace {

constexpr int32_t kRoleMaster = 1; // the role list's entries
constexpr int32_t kRoleSlave = 0;
constexpr int32_t kOn = 1;

std::string SwitchWord(int32_t nState)
{
    return nState < 0 ? "unknown" : nState == 0 ? "off" : "on";
}

// "role slave, auth on, password 4321, bind off, bind address none"
std::string PairFacts(const ModuleParams &params)
{
    const std::string strRole = params.Role < 0 ? "unknown" : params.Role == 1 ? "master" : "slave";
    return "role " + strRole + ", auth " + SwitchWord(params.Auth) + ", password " +
           GbkToUtf8(params.Password) + ", bind " + SwitchWord(params.Bind) + ", bind address " +
           (params.BindAddr.empty() ? std::string("none") : GbkToUtf8(params.BindAddr));
}

// One pair, step by step: both read, the slave written and read back, then the master.
class CPairJob
{
public:
    CPairJob(const std::string &strMaster, const std::string &strSlave, const CPairPlan &plan)
        : m_master(strMaster, plan.work), m_slave(strSlave, plan.work), m_plan(plan)
    {}

    CPairOutcome Run()
    {
        m_outcome.bPaired = m_slave.Open() && m_master.Open() && m_slave.Read() &&
                            m_master.Read() && MakeValues() && m_slave.Write(m_slaveValues) &&
                            m_slave.Verify(m_slaveValues) && m_master.Write(m_masterValues) &&
                            m_master.Verify(m_masterValues);
        m_outcome.strMasterAddr = m_master.Address();
        m_outcome.strSlaveAddr = m_slave.Address();
        if (!m_outcome.bPaired)
            Explain();
        Record();
        return m_outcome;
    }

private:
    // The slave's address binds the master; both get the same password and authentication.
    bool MakeValues()
    {
        const std::string strSlaveAddr = NormalizedAddress(m_slave.Address());
        if (strSlaveAddr.empty())
            return m_slave.Fail(RunEndName(ERunEnd::Refused),
                                "the slave reported no address (\"AT+LADDR?\")");
        const std::string strPassword =
            !m_plan.strPassword.empty() ? m_plan.strPassword : m_slave.LastRead().Password;
        if (strPassword.empty())
            return m_slave.Fail(RunEndName(ERunEnd::Refused),
                                "the slave reported no password; give one with --password");
        for (CSetValues *pValues : {&m_slaveValues, &m_masterValues}) {
            pValues->Ask(&ModuleParams::Auth, kOn);
            pValues->Ask(&ModuleParams::Password, strPassword);
        }
        m_slaveValues.Ask(&ModuleParams::Role, kRoleSlave);
        m_masterValues.Ask(&ModuleParams::Role, kRoleMaster);
        m_masterValues.Ask(&ModuleParams::Bind, kOn);
        m_masterValues.Ask(&ModuleParams::BindAddr, strSlaveAddr);
        return true;
    }

    // Which module failed, and what each holds now: read again where it was written to.
    void Explain()
    {
        CModuleWork &failed = m_slave.Failed() ? m_slave : m_master;
        const std::string strRole = m_slave.Failed() ? "slave" : "master";
        m_outcome.strWhy = "the " + strRole + " " + failed.Port() + " failed: " + failed.End() +
                           (failed.Text().empty() ? "" : ": " + failed.Text());
        for (auto [pWork, pszRole] : {std::pair{&m_master, "master"}, std::pair{&m_slave, "slave"}})
            m_outcome.holdings.push_back(std::string(pszRole) + " " + pWork->Port() +
                                         (pWork->Address().empty() ? "" : " " + pWork->Address()) +
                                         ": " + Holding(*pWork));
    }

    static std::string Holding(CModuleWork &work)
    {
        if (!work.WroteAnything())
            return "untouched";
        if (!work.Failed())
            return "holds " + PairFacts(work.LastRead()) + " (read back)";
        if (work.ReadAgain())
            return "holds " + PairFacts(work.LastRead()) + " (read after the failure)";
        return "took some of its settings and cannot be read now";
    }

    void Record()
    {
        CLedgerPair &record = m_outcome.record;
        m_master.FillRecord(record.master, m_masterValues.Any() ? &m_masterValues : nullptr);
        m_slave.FillRecord(record.slave, m_slaveValues.Any() ? &m_slaveValues : nullptr);
        record.eResult = m_outcome.bPaired ? EUnitResult::Passed : EUnitResult::Failed;
        CModuleWork &failed = m_slave.Failed() ? m_slave : m_master;
        record.strEnd = failed.End();
        record.strText = m_outcome.strWhy;
        if (m_plan.pLedger)
            m_plan.pLedger->Append(record, m_outcome.strLedgerError);
    }

    CModuleWork m_master;
    CModuleWork m_slave;
    const CPairPlan &m_plan;
    CSetValues m_masterValues;
    CSetValues m_slaveValues;
    CPairOutcome m_outcome;
};

} // namespace

CPairOutcome RunPairUnits(const std::string &strMaster, const std::string &strSlave,
                          const CPairPlan &plan)
{
    return CPairJob(strMaster, strSlave, plan).Run();
}
