#include "qt/AboutDlg.h"

#include "qt/GuiCommon.h"

#include <QCoreApplication>
#include <QIcon>
#include <QLabel>
#include <QPushButton>

namespace {
constexpr int kIconSizePx = 32;
}

CAboutDlg::CAboutDlg(QWidget *pParent) : QDialog(pParent)
{
    EnsureKestrelResources();
    setFont(KestrelDialogFont());
    setWindowTitle(QCoreApplication::translate("About", "关于 Kestrel"));
    setWindowIcon(QIcon(QStringLiteral(":/kestrel.svg")));
    CreateControls();
}

void CAboutDlg::CreateControls()
{
    const CDialogUnits du(font());
    setFixedSize(du.X(235), du.Y(55));

    auto *pIcon = new QLabel(this);
    pIcon->setPixmap(QIcon(QStringLiteral(":/kestrel.svg")).pixmap(kIconSizePx, kIconSizePx));
    pIcon->setGeometry(du.X(7), du.Y(7), kIconSizePx, kIconSizePx);

    // The version line is shown as written: no mnemonic processing.
    auto *pTitle =
        new QLabel(QCoreApplication::translate("About", "内嵌模块v3.0_20040210设置工具"), this);
    pTitle->setTextFormat(Qt::PlainText);
    pTitle->setGeometry(du.X(40), du.Y(10), du.X(119), du.Y(8));
    auto *pMaker =
        new QLabel(QCoreApplication::translate("About", "CORVA科技 蓝牙技术研究所"), this);
    pMaker->setGeometry(du.X(41), du.Y(31), du.X(119), du.Y(8));

    auto *pOk = new QPushButton(QCoreApplication::translate("About", "确定"), this);
    pOk->setGeometry(du.Rect(178, 7, 50, 14));
    pOk->setDefault(true);
    connect(pOk, &QPushButton::clicked, this, &QDialog::accept);
}
