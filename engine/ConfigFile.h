#pragma once

#include "engine/FormValues.h"
#include "engine/ModuleParams.h"

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

// A configuration file is the JSON object that "query --json" prints: a module's parameters under
// "params", next to the run's own fields ("port", "ok", "status", "error"), which are ignored, as
// are the parameters that cannot be set ("version", "local_address"). A null value says the
// module reported nothing, so it sets nothing.

// What a file asked for, with texts already in GBK, or why it was refused (naming the key).
struct CConfigReadResult
{
    bool bOk = false;
    std::string strError;
    CSetValues values;
};

// The parameters as "query --json" prints them (texts GBK in, UTF-8 out).
nlohmann::ordered_json ParamsToJson(const ModuleParams &params, const std::string &strLocalAddr);

// A whole file: the port it came from (may be empty) and the parameters.
std::string FormatConfigText(const ModuleParams &params, const std::string &strLocalAddr,
                             const std::string &strPort);

// Reads the values of a file and puts each through the form's checks, so that a value the Set
// action would refuse is refused here, before anything is sent.
CConfigReadResult ParseConfigText(const std::string &strText);
CConfigReadResult LoadConfigFile(const std::string &strPath);

// Fills every value the command line left open with the file's.
void MergeConfigUnder(CSetValues &set, const CSetValues &fromFile);

// One parameter the module holds otherwise than it was asked to.
struct CVerifyMismatch
{
    std::string strKey;   // as the file names it: "name", "scan.conn_duration"
    std::string strAsked; // JSON text of the value, UTF-8
    std::string strRead;
};

// Compares what the Set action asked for (its validated snapshot) with what a later reading of
// the module gave, for every parameter the request named. The bound address counts only when
// binding was asked for, and the password only with authentication on and a password given, as
// only then does Set write them.
std::vector<CVerifyMismatch> CompareAskedWithRead(const CSetValues &asked,
                                                  const ModuleParams &snapshot,
                                                  const ModuleParams &read);
