#pragma once

#include "engine/UiText.h"

#include <memory>
#include <ostream>
#include <string>
#include <vector>

// What the command line needs from the system it runs on, one source file per system.

// The arguments after the program name, as UTF-8 whatever the system's code page.
std::vector<std::string> CommandLineArguments(int argc, char **argv);

// From here on, text written to std::cout and std::cerr as UTF-8 reaches the console in its own
// code page, and the progress line's terminal sequences work.
void PrepareConsole();

// Machine-readable output (JSON) stays UTF-8 whatever PrepareConsole did.
void WriteUtf8(std::ostream &out, const std::string &strText);

// The language of the texts the engine passes on: the environment's (LANGUAGE, LC_ALL,
// LC_MESSAGES, LANG), and on Windows, where those are usually unset, the user's UI language.
EUiLanguage SystemUiLanguage();

// Calls pfnHandler at each Ctrl-C (SIGINT), SIGTERM, and on Windows Ctrl-Break and the console
// closing, in place of ending the process. It runs in a signal handler (POSIX) or on a thread of
// its own (Windows): it may only do what is safe there.
void SetInterruptHandler(void (*pfnHandler)());

// Starts the built-in simulated module: its device path, and a handle that keeps it running.
// Null, with the reason in strError, where it cannot run.
std::shared_ptr<void> StartSimulatedModule(std::string &strDevicePath, std::string &strError);

struct CliOptions;

// With --simulate, starts the simulated module and adds its port to the options; pSim keeps it
// running. False, with the reason, when it cannot start; true without --simulate. (main.cpp)
bool AddSimulatedPort(CliOptions &options, std::shared_ptr<void> &pSim, std::string &strError);
