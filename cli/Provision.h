#pragma once

#include "cli/CliOptions.h"

// kestrel-cli provision: each unit on the ports given, or each device as it appears (--watch),
// read, written with its own values, read back and recorded in the ledger. Every input is read
// and checked before any port opens (exit 2); then 0 when no unit failed, 1 otherwise.
int RunProvision(CliOptions options);
