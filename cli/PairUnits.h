#pragma once

#include "cli/Ledger.h"
#include "cli/ProvisionUnit.h"

#include <string>
#include <vector>

// What every pair of a run is given.
struct CPairPlan
{
    CWorkSetup work;
    std::string strPassword;    // GBK; empty: the slave's own password goes to the master
    CLedger *pLedger = nullptr; // null: no record
};

// What became of a pair.
struct CPairOutcome
{
    bool bPaired = false; // both modules read back what they were asked
    std::string strMasterAddr;
    std::string strSlaveAddr;
    std::string strWhy; // which module failed and why
    // On a failure, one line per module: its port, its address and what it holds now.
    std::vector<std::string> holdings;
    CLedgerPair record;
    std::string strLedgerError; // the record could not be written
};

// Makes two modules a pair: reads both, makes the slave a slave and the master a master with
// the same password and authentication on, binds the master to the slave's address, and reads
// both back. Nothing is written unless both modules were read; the slave is written first.
CPairOutcome RunPairUnits(const std::string &strMaster, const std::string &strSlave,
                          const CPairPlan &plan);
