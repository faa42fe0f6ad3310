// What both platforms' links share: the open failure's cause (each link records it as an errno
// value) and the paths that must never be remembered.

#include "serial/SerialLink.h"

#include <cerrno>
#include <filesystem>

OpenFailure CSerialLink::LastOpenFailure() const
{
    switch (m_nLastOpenError) {
    case 0:
        return OpenFailure::None;
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return OpenFailure::NoSuchDevice;
    case EBUSY:
        return OpenFailure::Busy;
    case EACCES:
    case EPERM:
        return OpenFailure::NoPermission;
    default:
        return OpenFailure::Other;
    }
}

bool CSerialLink::IsRawPseudoTerminal(const std::string &strPath)
{
    // Lexically, so "/dev/./pts/3" counts too; a symbolic link elsewhere is a name someone chose
    // and keeps pointing at its device.
    const std::string strNormal = std::filesystem::path(strPath).lexically_normal().string();
    return strNormal.rfind("/dev/pts/", 0) == 0 && strNormal.size() > sizeof("/dev/pts/") - 1;
}
