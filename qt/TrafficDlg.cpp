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
#include <QSaveFile>
#include <QVBoxLayout>

namespace {
constexpr int kWidthPx = 720;
constexpr int kHeightPx = 420;
} // namespace

CTrafficDlg::CTrafficDlg(CLinkTrace &trace, QWidget *pParent) : QDialog(pParent), m_trace(trace)
{
    setWindowTitle(QCoreApplication::translate("Traffic", "通信记录"));
    setModal(false);
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::WindowMinMaxButtonsHint);
    CreateControls();
    resize(kWidthPx, kHeightPx);
    // Called under the trace's lock on whichever thread recorded; it only asks for a take.
    m_trace.SetListener([this](const CTraceEntry &) {
        if (!m_bTakePosted.exchange(true))
            QMetaObject::invokeMethod(
                this, [this] { TakeEntries(); }, Qt::QueuedConnection);
    });
}

CTrafficDlg::~CTrafficDlg()
{
    m_trace.SetListening(false);
    m_trace.SetListener(nullptr);
}

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
    m_trace.SetListening(true);
    QDialog::showEvent(pEvent);
}

void CTrafficDlg::hideEvent(QHideEvent *pEvent)
{
    m_trace.SetListening(false);
    QDialog::hideEvent(pEvent);
}

void CTrafficDlg::TakeEntries()
{
    m_bTakePosted.store(false);
    size_t nDropped = 0;
    const std::vector<CTraceEntry> entries = m_trace.Take(&nDropped);
    if (nDropped > 0)
        m_pView->appendPlainText(
            QStringLiteral("!! %1 entries not shown: the view fell behind").arg(nDropped));
    for (const CTraceEntry &entry : entries)
        m_pView->appendPlainText(QString::fromStdString(FormatTraceLine(entry, m_trace.Start())));
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
    QSaveFile file(strPath);
    const QByteArray bytes = (Text() + "\n").toUtf8();
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        if (pstrError)
            *pstrError = file.errorString();
        return false;
    }
    return true;
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
    m_pView->clear();
}
