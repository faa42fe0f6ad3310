#pragma once

#include "cli/CliOptions.h"
#include "dialog/ModuleParams.h"

class CModuleSetupEngine;

// Puts the requested values into the form's controls, as a user would type and tick them; a
// value the request leaves open keeps what the control shows. Texts are GBK. Changes the
// controls only: nothing is sent until Set.
void ApplyValuesToForm(CModuleSetupEngine &engine, const CliSetValues &values);

// What the form shows, as a record (GBK), and the local address beside it. Reads the form with
// its checks first; false when a field fails them (the engine has told the user).
bool ReadFormValues(CModuleSetupEngine &engine, ModuleParams &params, std::string &strLocalAddr);

// The baud list entry for a rate, or -1 when the module does not offer it.
int BaudIndex(const std::string &strBaud);
