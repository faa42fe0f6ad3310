#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

// A Windows program started under Wine with its standard streams on pipes: lines are read as
// they come, stdin can be ended to release it, and it is killed if it outlives its time.
class CWineProcess
{
public:
    CWineProcess() = default;
    ~CWineProcess();
    CWineProcess(const CWineProcess &) = delete;
    CWineProcess &operator=(const CWineProcess &) = delete;

    bool Start(const std::string &strExe, const std::vector<std::string> &args);
    // The next line of stdout without its line end, or nothing at end of output or timeout.
    std::optional<std::string> ReadLine(std::chrono::milliseconds timeout);
    // Reads lines until one starts with strKey followed by a space; its rest.
    std::optional<std::string> WaitFor(const std::string &strKey,
                                       std::chrono::milliseconds timeout);
    void CloseStdin();
    // Exit code after all output was read; -1 when it had to be killed.
    int Finish(std::chrono::milliseconds timeout);
    const std::string &Output() const { return m_strAll; }
    const std::string &Errors() const { return m_strErr; }

private:
    bool Pump(std::chrono::milliseconds timeout);

    int m_nPid = -1;
    int m_hIn = -1;
    int m_hOut = -1;
    int m_hErr = -1;
    std::string m_strBuffer; // stdout not yet returned as lines
    std::string m_strAll;    // all stdout seen so far
    std::string m_strErr;
};

// One run of a program to its end: exit code, stdout, stderr.
struct CWineRun
{
    int nExitCode = -1;
    std::string strOut;
    std::string strErr;
};

CWineRun RunUnderWine(const std::string &strExe, const std::vector<std::string> &args,
                      std::chrono::milliseconds timeout = std::chrono::seconds(60));
