#include "qt/AboutDlg.h"

#include "qt/DialogTemplate.h"
#include "qt/GuiCommon.h"
#include "res/resource.h"

#include <QIcon>

namespace {
constexpr int kIconSizePx = 32;
}

CAboutDlg::CAboutDlg(QWidget *pParent) : QDialog(pParent)
{
    EnsureKestrelResources();
    setWindowIcon(QIcon(QStringLiteral(":/kestrel.svg")));
    CreateControls();
}

void CAboutDlg::CreateControls()
{
    CTemplateExtras extras;
    extras.pictures.insert(QStringLiteral("IDR_MAINFRAME"),
                           QIcon(QStringLiteral(":/kestrel.svg")).pixmap(kIconSizePx, kIconSizePx));
    CreateTemplateControls(this, IDD_ABOUTBOX, extras);
}
