#pragma once

#include <fcntl.h>
#include <stdlib.h>
#include <string>
#include <unistd.h>

// A pseudo-terminal: its device node (/dev/pts/N) lives until Close. Path is empty when none
// could be had.
class CPty
{
public:
    CPty()
    {
        m_nMaster = posix_openpt(O_RDWR | O_NOCTTY);
        if (m_nMaster >= 0 && grantpt(m_nMaster) == 0 && unlockpt(m_nMaster) == 0)
            m_strPath = ptsname(m_nMaster);
    }
    ~CPty() { Close(); }

    CPty(const CPty &) = delete;
    CPty &operator=(const CPty &) = delete;

    void Close()
    {
        if (m_nMaster >= 0)
            ::close(m_nMaster);
        m_nMaster = -1;
    }
    const std::string &Path() const { return m_strPath; }

private:
    int m_nMaster = -1;
    std::string m_strPath;
};
