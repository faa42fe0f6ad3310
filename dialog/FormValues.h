#pragma once

#include "dialog/ModuleParams.h"

#include <optional>
#include <string>
#include <vector>

// What "set" was asked to change; unset fields keep what the module reported.
struct CSetValues
{
    std::optional<std::string> strName; // UTF-8 as typed, GBK after ConvertSetTextsToGbk
    std::optional<std::string> strClass;
    std::optional<std::string> strBaud;
    std::optional<int> nParity;   // 0 none, 1 odd, 2 even
    std::optional<int> nStopBits; // index: 0 one, 1 two
    std::optional<int> nRole;     // 1 master, 0 slave
    std::optional<int> nBind;
    std::optional<std::string> strBindAddr;
    std::optional<int> nAuth;
    std::optional<std::string> strPassword;
    std::optional<std::vector<std::string>> scan;  // four numbers
    std::optional<std::vector<std::string>> sniff; // max, min, attempt, timeout
};

class CModuleSetupEngine;

// Puts the requested values into the form's controls, as a user would type and tick them; a
// value the request leaves open keeps what the control shows. Texts are GBK. Changes the
// controls only: nothing is sent until Set.
void ApplyValuesToForm(CModuleSetupEngine &engine, const CSetValues &values);

// What the form shows, as a record (GBK), and the local address beside it. Reads the form with
// its checks first; false when a field fails them (the engine has told the user).
bool ReadFormValues(CModuleSetupEngine &engine, ModuleParams &params, std::string &strLocalAddr);

// The baud list entry for a rate, or -1 when the module does not offer it.
int BaudIndex(const std::string &strBaud);
