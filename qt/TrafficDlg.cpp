#include "qt/TrafficDlg.h"

#include "serial/LinkTrace.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
constexpr int kWidthPx = 720;
constexpr int kHeightPx = 420;
} // namespace

CTrafficDlg::CTrafficDlg(CLinkTrace &trace, QWidget *pParent)
    : QDialog(pParent),
      // Called under the trace's lock on whichever thread recorded; it only asks for a take.
      m_log(trace,
            [this] {
                QMetaObject::invokeMethod(
                    this, [this] { TakeEntries(); }, Qt::QueuedConnection);
            })
{
    setWindowTitle(QCoreApplication::translate("Traffic", "通信记录"));
    setModal(false);
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::WindowMinMaxButtonsHint);
    CreateControls();
    resize(kWidthPx, kHeightPx);
}

CTrafficDlg::~CTrafficDlg() = default;

void CTrafficDlg::CreateControls()
{
    m_pView = new QPlainTextEdit(this);
    m_pView->setReadOnly(true);
    m_pView->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_pView->setMaximumBlockCount(kMaxLines);
    m_pView->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_pView->setAccessibleName(QCoreApplication::translate("Traffic", "通信记录"));

    auto *pCopy = new QPushButton(QCoreApplication::translate("Traffic", "复制"), this);
    auto *pSave = new QPushButton(QCoreApplication::translate("Traffic", "保存..."), this);
    auto *pClear = new QPushButton(QCoreApplication::translate("Traffic", "清除"), this);
    auto *pClose = new QPushButton(QCoreApplication::translate("Traffic", "关闭"), this);
    connect(pCopy, &QPushButton::clicked, this, &CTrafficDlg::CopyToClipboard);
    connect(pSave, &QPushButton::clicked, this, &CTrafficDlg::OnSave);
    connect(pClear, &QPushButton::clicked, this, &CTrafficDlg::Clear);
    connect(pClose, &QPushButton::clicked, this, &QDialog::hide);

    auto *pButtons = new QHBoxLayout;
    for (QPushButton *pButton : {pCopy, pSave, pClear})
        pButtons->addWidget(pButton);
    pButtons->addStretch();
    pButtons->addWidget(pClose);
    auto *pLayout = new QVBoxLayout(this);
    pLayout->addWidget(m_pView);
    pLayout->addLayout(pButtons);
}

void CTrafficDlg::showEvent(QShowEvent *pEvent)
{
    m_log.SetShown(true);
    QDialog::showEvent(pEvent);
}

void CTrafficDlg::hideEvent(QHideEvent *pEvent)
{
    m_log.SetShown(false);
    QDialog::hideEvent(pEvent);
}

void CTrafficDlg::TakeEntries()
{
    for (const std::string &strLine : m_log.Take())
        m_pView->appendPlainText(QString::fromStdString(strLine));
}

QString CTrafficDlg::Text() const
{
    return m_pView->toPlainText();
}

void CTrafficDlg::CopyToClipboard()
{
    QString strSelected = m_pView->textCursor().selectedText();
    // A selection spans lines with U+2029; the clipboard wants plain line ends.
    QGuiApplication::clipboard()->setText(
        strSelected.isEmpty() ? Text() + "\n" : strSelected.replace(QChar(0x2029), '\n'));
}

bool CTrafficDlg::SaveTo(const QString &strPath, QString *pstrError)
{
    std::string strError;
    if (m_log.SaveTo(strPath.toStdString(), strError))
        return true;
    if (pstrError)
        *pstrError = QString::fromStdString(strError);
    return false;
}

void CTrafficDlg::OnSave()
{
    const QString strPath = QFileDialog::getSaveFileName(
        this, QCoreApplication::translate("Traffic", "保存通信记录"),
        QDir::home().filePath(QStringLiteral("kestrel-trace.txt")),
        QCoreApplication::translate("Traffic", "文本文件 (*.txt);;所有文件 (*)"));
    if (strPath.isEmpty())
        return;
    QString strError;
    if (!SaveTo(strPath, &strError))
        QMessageBox::critical(this, QCoreApplication::translate("Traffic", "错误"),
                              QCoreApplication::translate("Traffic", "无法保存通信记录：%1\n%2")
                                  .arg(strPath, strError));
}

void CTrafficDlg::Clear()
{
    m_log.Clear();
    m_pView->clear();
}
