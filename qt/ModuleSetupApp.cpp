#include "qt/ModuleSetupApp.h"

#include "qt/ModuleSetupDlg.h"
#include "qt/ProfileQt.h"
#include "qt/UiLanguageQt.h"
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

constexpr int kExitNoDisplay = 1;
QtMessageHandler g_pfnQtMessages = nullptr; // Qt's own handler while ours stands in front

// A display that is named but cannot be opened (gone, refused, no such platform) is a fatal
// message to Qt, which then aborts: say what to do and end with an error code instead.
void OnStartupMessage(QtMsgType type, const QMessageLogContext &context, const QString &strText)
{
    if (type != QtFatalMsg) {
        if (g_pfnQtMessages)
            g_pfnQtMessages(type, context, strText);
        else
            std::fprintf(stderr, "%s\n", qPrintable(strText));
        return;
    }
    // Qt's own warnings before this one give the reason; its closing text would only suggest
    // reinstalling.
    const char *pszDisplay = std::getenv("DISPLAY");
    std::fprintf(stderr,
                 "kestrel: cannot open the display%s%s; check DISPLAY (or QT_QPA_PLATFORM), run "
                 "under Xvfb, or use kestrel-cli\n",
                 pszDisplay ? " " : "", pszDisplay ? pszDisplay : "");
    std::fflush(stderr);
    std::_Exit(kExitNoDisplay);
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
        return kExitNoDisplay;
    }

    g_pfnQtMessages = qInstallMessageHandler(OnStartupMessage);
    QApplication app(argc, argv);
    qInstallMessageHandler(g_pfnQtMessages);
    {
        CProfileQt profile;
        ApplyUiLanguage(ChooseProfileUiLanguage(profile));
    }
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
