#pragma once

#include <QString>

// Starts the program: reads the command line, checks for a display, offers a simulated module on
// request, and runs the main window modally until it closes.
class CModuleSetupApp
{
public:
    int Run(int argc, char **argv);

private:
    // Constructs, initialises, runs and destroys the main window; like the framework's start-up
    // hook it reports false: there is no message loop after the window.
    bool InitInstance(const QString &strPreferredPort);
};
