#include "WineProcess.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

void CloseFd(int &hFd)
{
    if (hFd >= 0)
        close(hFd);
    hFd = -1;
}

// Reads what is there into strOut; false at end of stream.
bool ReadSome(int hFd, std::string &strOut)
{
    char achBuffer[4096];
    const ssize_t nRead = read(hFd, achBuffer, sizeof(achBuffer));
    if (nRead > 0)
        strOut.append(achBuffer, static_cast<size_t>(nRead));
    return nRead > 0 || (nRead < 0 && (errno == EINTR || errno == EAGAIN));
}

} // namespace

CWineProcess::~CWineProcess()
{
    if (m_nPid > 0) {
        kill(m_nPid, SIGKILL);
        waitpid(m_nPid, nullptr, 0);
    }
    CloseFd(m_hIn);
    CloseFd(m_hOut);
    CloseFd(m_hErr);
}

bool CWineProcess::Start(const std::string &strExe, const std::vector<std::string> &args)
{
    int aIn[2], aOut[2], aErr[2];
    if (pipe2(aIn, O_CLOEXEC) != 0 || pipe2(aOut, O_CLOEXEC) != 0 || pipe2(aErr, O_CLOEXEC) != 0)
        return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, aIn[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, aOut[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, aErr[1], STDERR_FILENO);
    std::vector<std::string> argv{"wine", strExe};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char *> pointers;
    for (std::string &strArg : argv)
        pointers.push_back(strArg.data());
    pointers.push_back(nullptr);
    const int nResult = posix_spawnp(&m_nPid, "wine", &actions, nullptr, pointers.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(aIn[0]);
    close(aOut[1]);
    close(aErr[1]);
    m_hIn = aIn[1];
    m_hOut = aOut[0];
    m_hErr = aErr[0];
    fcntl(m_hOut, F_SETFL, O_NONBLOCK);
    fcntl(m_hErr, F_SETFL, O_NONBLOCK);
    if (nResult != 0)
        m_nPid = -1;
    return nResult == 0;
}

// Reads what both pipes hold, waiting at most timeout for the first bytes; false when nothing
// came.
bool CWineProcess::Pump(std::chrono::milliseconds timeout)
{
    pollfd aFds[2] = {{m_hOut, POLLIN, 0}, {m_hErr, POLLIN, 0}};
    if (poll(aFds, 2, static_cast<int>(timeout.count())) <= 0)
        return false;
    if (aFds[0].revents != 0) {
        const size_t nBefore = m_strBuffer.size();
        if (!ReadSome(m_hOut, m_strBuffer))
            CloseFd(m_hOut);
        m_strAll.append(m_strBuffer, nBefore, std::string::npos);
    }
    if (aFds[1].revents != 0 && !ReadSome(m_hErr, m_strErr))
        CloseFd(m_hErr);
    return true;
}

std::optional<std::string> CWineProcess::ReadLine(std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const size_t nEnd = m_strBuffer.find('\n');
        if (nEnd != std::string::npos) {
            std::string strLine = m_strBuffer.substr(0, nEnd);
            m_strBuffer.erase(0, nEnd + 1);
            if (!strLine.empty() && strLine.back() == '\r')
                strLine.pop_back();
            return strLine;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || (m_hOut < 0 && m_hErr < 0))
            return std::nullopt;
        Pump(left);
    }
}

std::optional<std::string> CWineProcess::WaitFor(const std::string &strKey,
                                                 std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        const std::optional<std::string> line = ReadLine(std::max(left, decltype(left)(0)));
        if (!line)
            return std::nullopt;
        if (line->rfind(strKey + " ", 0) == 0)
            return line->substr(strKey.size() + 1);
    }
}

void CWineProcess::CloseStdin()
{
    CloseFd(m_hIn);
}

int CWineProcess::Finish(std::chrono::milliseconds timeout)
{
    CloseStdin();
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        int nStatus = 0;
        if (m_nPid <= 0)
            return -1;
        if (waitpid(m_nPid, &nStatus, WNOHANG) == m_nPid) {
            m_nPid = -1;
            // Wine's own processes may hold the pipes open: take what is there, not their end.
            while (Pump(std::chrono::milliseconds(0))) {
            }
            return WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : -1;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            kill(m_nPid, SIGKILL);
            waitpid(m_nPid, nullptr, 0);
            m_nPid = -1;
            return -1;
        }
        Pump(std::chrono::milliseconds(20));
    }
}

CWineRun RunUnderWine(const std::string &strExe, const std::vector<std::string> &args,
                      std::chrono::milliseconds timeout)
{
    CWineProcess process;
    CWineRun run;
    if (!process.Start(strExe, args))
        return run;
    run.nExitCode = process.Finish(timeout);
    run.strOut = process.Output();
    run.strErr = process.Errors();
    return run;
}
