#include "qt/PortSelectDlg.h"

#include "qt/GuiCommon.h"
#include "qt/ProfileQt.h"
#include "protocol/AtProtocol.h"
#include "serial/PortChoice.h"
#include "serial/PortList.h"
#include "serial/PortSettings.h"
#include "serial/SerialLink.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QSvgRenderer>

namespace {
constexpr QSize kPlugSizePx{51, 49};
constexpr int kListMarginPx = 24; // room for the frame and a scroll bar
constexpr char kSimulatedDescription[] = QT_TRANSLATE_NOOP("PortDialog", "模拟模块");
QPixmap PlugPicture()
{
    QPixmap pixmap(kPlugSizePx);
    pixmap.fill(Qt::transparent);
    QSvgRenderer renderer(QStringLiteral(":/plug.svg"));
    QPainter painter(&pixmap);
    renderer.render(&painter);
    return pixmap;
}
} // namespace

CPortSelectDlg::CPortSelectDlg(const QString &strPreferredPath, QWidget *pParent) : QDialog(pParent)
{
    EnsureKestrelResources();
    setFont(KestrelDialogFont());
    setWindowTitle(QCoreApplication::translate("PortDialog", "连接串口"));
    setWindowIcon(QIcon(QStringLiteral(":/kestrel.svg")));
    CreateControls();
    OnInitDialog(strPreferredPath);
}

void CPortSelectDlg::CreateControls()
{
    const CDialogUnits du(font());
    setFixedSize(du.X(187), du.Y(123));

    auto *pGroup = new QGroupBox(QCoreApplication::translate("PortDialog", "串口参数"), this);
    pGroup->setGeometry(du.Rect(57, 7, 123, 83));
    auto *pPicture = new QLabel(this);
    pPicture->setPixmap(PlugPicture());
    pPicture->setGeometry(QRect(QPoint(du.X(11), du.Y(13)), kPlugSizePx));

    auto *pPortLabel = new QLabel(QCoreApplication::translate("PortDialog", "通讯口"), this);
    pPortLabel->setGeometry(du.Rect(68, 24, 25, 8));
    m_pComboPort = new QComboBox(this);
    m_pComboPort->setGeometry(du.X(117), du.Y(20), du.X(55), m_pComboPort->sizeHint().height());
    // Any device path can be typed: pseudo-terminals and adapters the system does not list.
    m_pComboPort->setEditable(true);
    m_pComboPort->setInsertPolicy(QComboBox::NoInsert);
    // What was typed is what opens: no completion turns "/dev/ttyS1" into "/dev/ttyS10", and the
    // first Enter presses OK instead of taking a completion.
    m_pComboPort->setCompleter(nullptr);
    m_pComboPort->setAccessibleName(QCoreApplication::translate("PortDialog", "通讯口"));
    pPortLabel->setBuddy(m_pComboPort);

    auto *pFlowLabel = new QLabel(QCoreApplication::translate("PortDialog", "数据流控制"), this);
    pFlowLabel->setGeometry(du.Rect(68, 45, 41, 8));
    m_pComboFlow = new QComboBox(this);
    m_pComboFlow->setGeometry(du.X(117), du.Y(43), du.X(55), m_pComboFlow->sizeHint().height());
    m_pComboFlow->setAccessibleName(QCoreApplication::translate("PortDialog", "数据流控制"));
    pFlowLabel->setBuddy(m_pComboFlow);

    // The PC's line rate, not the module's own baud parameter of the main form.
    auto *pRateLabel = new QLabel(QCoreApplication::translate("PortDialog", "波特率"), this);
    pRateLabel->setGeometry(du.Rect(68, 68, 41, 8));
    m_pComboLineRate = new QComboBox(this);
    m_pComboLineRate->setGeometry(du.X(117), du.Y(66), du.X(55),
                                  m_pComboLineRate->sizeHint().height());
    m_pComboLineRate->setAccessibleName(QCoreApplication::translate("PortDialog", "波特率"));
    pRateLabel->setBuddy(m_pComboLineRate);

    auto *pOk = new QPushButton(QCoreApplication::translate("PortDialog", "确定(&O)"), this);
    pOk->setGeometry(du.Rect(39, 102, 50, 14));
    pOk->setDefault(true);
    connect(pOk, &QPushButton::clicked, this, &CPortSelectDlg::accept);
    auto *pCancel = new QPushButton(QCoreApplication::translate("PortDialog", "取消(&C)"), this);
    pCancel->setGeometry(du.Rect(110, 102, 50, 14));
    connect(pCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void CPortSelectDlg::OnInitDialog(const QString &strPreferredPath)
{
    std::vector<CSerialPortEntry> ports;
    for (const CPortEntry &entry : s_fnPortSource ? s_fnPortSource() : SystemPorts())
        ports.push_back({entry.strPath.toStdString(), entry.strDescription.toStdString(), {}, {},
                         {}, entry.strById.toStdString()});
    CProfileQt profile;
    const CPortChoice::CPreferredPort preferred{
        strPreferredPath.toStdString(),
        QCoreApplication::translate("PortDialog", kSimulatedDescription).toStdString()};
    m_pChoice = std::make_unique<CPortChoice>(EPortFlavour::Posix, ports, profile, preferred);
    for (const CPortChoiceEntry &entry : m_pChoice->Entries())
        m_pComboPort->addItem(QString::fromStdString(entry.strText),
                              QString::fromStdString(entry.strPath));
    m_pComboPort->setCurrentIndex(m_pChoice->Selected());
    // The list drops wider than the box, so that each entry shows whole with its description.
    QAbstractItemView *pView = m_pComboPort->view();
    pView->setMinimumWidth(pView->sizeHintForColumn(0) + kListMarginPx);

    const CPortSettings &saved = m_pChoice->Saved();
    m_pComboFlow->addItem(QCoreApplication::translate("PortDialog", "无"), 0);
    m_pComboFlow->addItem(QCoreApplication::translate("PortDialog", "硬件"), 1);
    m_pComboFlow->setCurrentIndex(saved.m_nFlow);

    m_pComboLineRate->addItem(QCoreApplication::translate("PortDialog", "自动检测"),
                              static_cast<uint>(kAutoLineRate));
    for (const char *pszRate : BaudRateList)
        m_pComboLineRate->addItem(QString::fromLatin1(pszRate),
                                  QString::fromLatin1(pszRate).toUInt());
    m_pComboLineRate->setCurrentIndex(
        std::max(0, m_pComboLineRate->findData(static_cast<uint>(saved.m_nBaud))));
    m_line.bDtr = saved.m_bDtr;
    m_line.bRts = saved.m_bRts;
}

std::function<QList<CPortSelectDlg::CPortEntry>()> CPortSelectDlg::s_fnPortSource;

QList<CPortSelectDlg::CPortEntry> CPortSelectDlg::SystemPorts()
{
    QList<CPortEntry> entries;
    for (const CSerialPortEntry &port : ListSerialPorts())
        entries.append({QString::fromStdString(port.strPath),
                        QString::fromStdString(port.strDescription),
                        QString::fromStdString(port.strById)});
    return entries;
}

void CPortSelectDlg::SetPortSourceForTesting(std::function<QList<CPortEntry>()> fnSource)
{
    s_fnPortSource = std::move(fnSource);
}

void CPortSelectDlg::accept()
{
    const std::optional<CPortChosen> chosen = m_pChoice->Choose(
        m_pComboPort->currentText().toStdString(), m_pComboFlow->currentIndex(),
        m_pComboLineRate->currentData().toUInt());
    if (!chosen) {
        m_pComboPort->setFocus();
        return;
    }
    CProfileQt profile;
    chosen->settings.Save(profile);
    m_nPort = chosen->settings.m_nPortNum + 1;
    m_nFlow = chosen->line.nFlow;
    m_line = chosen->line;
    m_strPortPath = QString::fromStdString(chosen->strPath);
    QDialog::accept();
}
