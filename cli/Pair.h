#pragma once

#include "cli/CliOptions.h"

// kestrel-cli pair: a master and a slave made a pair (the master bound to the slave's address,
// the same password and authentication on both), given as --master and --slave, or two by two as
// they are plugged in (--watch: first the master, then the slave). 0 when every pair read back
// right, 1 otherwise, 2 for bad input (nothing sent).
int RunPair(const CliOptions &options);
