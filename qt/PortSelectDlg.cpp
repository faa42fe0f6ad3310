#include "qt/PortSelectDlg.h"

#include "engine/ControlIds.h"
#include "protocol/AtProtocol.h"
#include "qt/DialogTemplate.h"
#include "qt/GuiCommon.h"
#include "qt/ProfileQt.h"
#include "res/resource.h"
#include "serial/PortChoice.h"
#include "serial/PortList.h"
#include "serial/PortSettings.h"
#include "serial/SerialLink.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QCoreApplication>
#include <QIcon>
#include <QLineEdit>
#include <QPainter>
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
    setWindowIcon(QIcon(QStringLiteral(":/kestrel.svg")));
    CreateControls();
    OnInitDialog(strPreferredPath);
}

void CPortSelectDlg::CreateControls()
{
    CTemplateExtras extras;
    extras.pictures.insert(QStringLiteral("IDB_PLUG"), PlugPicture());
    const QHash<int, QWidget *> mapControls = CreateTemplateControls(this, IDD_PORTSELECT, extras);
    // Editable (CBS_DROPDOWN): any device path can be typed, pseudo-terminals and adapters the
    // system does not list included.
    m_pComboPort = qobject_cast<QComboBox *>(mapControls.value(IDC_COMBO_PORT));
    m_pComboFlow = qobject_cast<QComboBox *>(mapControls.value(IDC_COMBO_FLOW));
    // The PC's line rate, not the module's own baud parameter of the main form.
    m_pComboLineRate = qobject_cast<QComboBox *>(mapControls.value(IDC_COMBO_LINERATE));
    // The field shows the start of the chosen entry, which tells the ports apart, not its end.
    for (const auto pfnSignal : {&QComboBox::currentIndexChanged, &QComboBox::activated})
        connect(m_pComboPort, pfnSignal, this, [this] { ShowEntryStart(); });
}

void CPortSelectDlg::ShowEntryStart()
{
    m_pComboPort->lineEdit()->setCursorPosition(0);
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
    ShowEntryStart();
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
