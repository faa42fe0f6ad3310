#pragma once

#include "sim/ModuleSim.h"

// kestrel-sim's command line: the options, and the module's state at start. Returns 0 when
// parsed, 1 when the help was shown (on stdout), 2 for bad usage (said on stderr).
int ParseSimArguments(int argc, char **argv, SimOptions &options, SimState &state);
