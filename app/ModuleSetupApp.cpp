#include "app/ModuleSetupApp.h"

#include "dialog/ModuleSetupDlg.h"
#include "sim/ModuleSim.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include <QApplication>

namespace {
const char *const kUsage =
    "Usage: kestrel [--simulate] [--version] [--help]\n"
    "Reads and writes the configuration of a Bluetooth serial module over a serial port, in a\n"
    "window. Without a display, use kestrel-cli.\n"
    "\n"
    "  --simulate  offer a simulated module (on a pseudo-terminal) in the port dialog\n"
    "  --version   print the version and exit\n"
    "  --help      print this help and exit\n";

bool HasEnv(const char *pszName)
{
    const char *pszValue = std::getenv(pszName);
    return pszValue && *pszValue;
}

// Qt would abort without a display; say what to do instead.
bool HasDisplay()
{
    return HasEnv("DISPLAY") || HasEnv("WAYLAND_DISPLAY") || HasEnv("QT_QPA_PLATFORM");
}
} // namespace

int CModuleSetupApp::Run(int argc, char **argv)
{
    bool bSimulate = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("Kestrel 4.2.5.0\n");
            return 0;
        }
        if (std::strcmp(argv[i], "--help") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--simulate") != 0) {
            std::fprintf(stderr, "kestrel: unknown option '%s'\n%s", argv[i], kUsage);
            return 2;
        }
        bSimulate = true;
    }
    if (!HasDisplay()) {
        std::fputs("kestrel: no display found; set DISPLAY or run under Xvfb, or use kestrel-cli\n",
                   stderr);
        return 1;
    }

    QApplication app(argc, argv);
#ifdef KESTREL_DESKTOP_ID
    // Lets the desktop match the window to its menu entry and icon (Wayland has no WM_CLASS).
    QGuiApplication::setDesktopFileName(QStringLiteral(KESTREL_DESKTOP_ID));
#endif
    std::unique_ptr<CModuleSim> pSim;
    QString strPreferredPort;
    if (bSimulate) {
        pSim = std::make_unique<CModuleSim>();
        if (!pSim->Start()) {
            std::fputs("kestrel: could not start the simulated module (no pseudo-terminal)\n",
                       stderr);
            return 1;
        }
        strPreferredPort = QString::fromStdString(pSim->DevicePath());
    }
    InitInstance(strPreferredPort);
    return 0;
}

bool CModuleSetupApp::InitInstance(const QString &strPreferredPort)
{
    auto pDlg = std::make_unique<CModuleSetupDlg>(strPreferredPort);
    // The port dialog comes before the window is shown; cancelling it ends the program.
    if (pDlg->OnInitDialog())
        pDlg->exec();
    pDlg.reset();
    return false;
}
