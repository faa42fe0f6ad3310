#include "qt/TrafficDlg.h"

#include "engine/ConsoleCommand.h"
#include "engine/ModuleSetupEngine.h"
#include "qt/ProfileQt.h"
#include "serial/LinkTrace.h"

#include <QClipboard>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <QValidator>

namespace {
constexpr int kWidthPx = 720;
constexpr int kHeightPx = 420;

// The field takes no more than a command may hold, its ending included; any other fault (a
// half-typed escape) is for Send to tell, not for the keyboard to refuse.
class CConsoleFieldValidator : public QValidator
{
public:
    CConsoleFieldValidator(const QComboBox *pEnding, QObject *pParent)
        : QValidator(pParent), m_pEnding(pEnding)
    {}

    State validate(QString &strInput, int &) const override
    {
        const auto eEol = kConsoleEols[std::max(0, m_pEnding->currentIndex())];
        return BuildConsoleCommand(strInput.toStdString(), eEol).eFault == EConsoleFault::TooLong
                   ? Invalid
                   : Acceptable;
    }

private:
    const QComboBox *m_pEnding;
};
} // namespace

CTrafficDlg::CTrafficDlg(CModuleSetupEngine &engine, QWidget *pParent)
    : QDialog(pParent),
      // Called under the trace's lock on whichever thread recorded; it only asks for a take.
      m_log(engine.SessionTrace(),
            [this] {
                QMetaObject::invokeMethod(
                    this, [this] { TakeEntries(); }, Qt::QueuedConnection);
            }),
      m_engine(engine)
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
    pLayout->addLayout(CreateConsole());
    pLayout->addLayout(pButtons);
}

QLayout *CTrafficDlg::CreateConsole()
{
    CProfileQt profile;
    m_history.Load(profile);
    m_pCommand = new QLineEdit(this);
    m_pCommand->setAccessibleName(QCoreApplication::translate("Traffic", "命令"));
    m_pCommand->installEventFilter(this);
    m_pEnding = new QComboBox(this);
    for (const EConsoleEol eEol : kConsoleEols)
        m_pEnding->addItem(QString::fromUtf8(ConsoleEolListText(eEol)));
    const auto *pChosen =
        std::find(std::begin(kConsoleEols), std::end(kConsoleEols), m_history.LineEnding());
    m_pEnding->setCurrentIndex(static_cast<int>(pChosen - std::begin(kConsoleEols)));
    m_pEnding->setAccessibleName(QCoreApplication::translate("Traffic", "行尾"));
    m_pCommand->setValidator(new CConsoleFieldValidator(m_pEnding, m_pCommand));
    m_pSend = new QPushButton(QCoreApplication::translate("Traffic", "发送"), this);
    connect(m_pSend, &QPushButton::clicked, this, &CTrafficDlg::SendTyped);
    connect(m_pCommand, &QLineEdit::returnPressed, this, &CTrafficDlg::SendTyped);
    connect(m_pEnding, &QComboBox::currentIndexChanged, this, [this](int nIndex) {
        if (nIndex < 0)
            return;
        m_history.SetLineEnding(kConsoleEols[nIndex]);
        CProfileQt profile;
        m_history.Save(profile);
    });
    auto *pRow = new QHBoxLayout;
    pRow->addWidget(m_pCommand, 1);
    pRow->addWidget(m_pEnding);
    pRow->addWidget(m_pSend);
    return pRow;
}

void CTrafficDlg::SetSendEnabled(bool bEnabled)
{
    m_pSend->setEnabled(bEnabled);
}

bool CTrafficDlg::SendTyped()
{
    if (!m_pSend->isEnabled())
        return false;
    const std::string strTyped = m_pCommand->text().toStdString();
    const CConsoleCommand command =
        BuildConsoleCommand(strTyped, kConsoleEols[std::max(0, m_pEnding->currentIndex())]);
    if (!command.Ok()) {
        QMessageBox::warning(this, QCoreApplication::translate("Traffic", "提示"),
                             QString::fromStdString(command.strMessage));
        const size_t nFrom = Utf16Units(strTyped, command.nFaultChar);
        const size_t nTo =
            Utf16Units(strTyped, command.nFaultChar + std::max<size_t>(command.nFaultLength, 1));
        m_pCommand->setSelection(static_cast<int>(nFrom), static_cast<int>(nTo - nFrom));
        return false;
    }
    CProfileQt profile;
    if (!m_engine.SendConsoleCommand(strTyped, command.strBytes, m_history, profile))
        return false;
    m_pCommand->clear();
    return true;
}

void CTrafficDlg::Recall(bool bOlder)
{
    const std::optional<std::string> recalled =
        bOlder ? m_history.Up(m_pCommand->text().toStdString()) : m_history.Down();
    if (recalled)
        m_pCommand->setText(QString::fromStdString(*recalled));
}

bool CTrafficDlg::eventFilter(QObject *pWatched, QEvent *pEvent)
{
    if (pWatched == m_pCommand && pEvent->type() == QEvent::KeyPress) {
        const int nKey = static_cast<QKeyEvent *>(pEvent)->key();
        if (nKey == Qt::Key_Up || nKey == Qt::Key_Down) {
            Recall(nKey == Qt::Key_Up);
            return true;
        }
    }
    return QDialog::eventFilter(pWatched, pEvent);
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
