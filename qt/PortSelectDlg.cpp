#include "qt/PortSelectDlg.h"

#include "engine/ControlIds.h"
#include "protocol/AtProtocol.h"
#include "qt/DialogTemplate.h"
#include "qt/GuiCommon.h"
#include "qt/ProfileQt.h"
#include "res/resource.h"
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
const QString kEntrySeparator = QStringLiteral("  ");
constexpr char kSimulatedDescription[] = QT_TRANSLATE_NOOP("PortDialog", "模拟模块");
// Beside the name an entry opens (its by-id name, if any), the node it stands at now.
constexpr int kNodeRole = Qt::UserRole + 1;

bool IsRawPseudoTerminal(const QString &strPath)
{
    return CSerialLink::IsRawPseudoTerminal(strPath.toStdString());
}

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
    FillPortList(strPreferredPath);
    CProfileQt profile;
    const CPortSettings settings = CPortSettings::Load(profile, m_pComboPort->count());

    // The saved device wins over the saved index: the system's list may have reordered. A raw
    // pseudo-terminal saved by an older version now belongs to some other terminal.
    const QString strSavedName = IsRawPseudoTerminal(QString::fromStdString(settings.m_strPortName))
                                     ? QString()
                                     : QString::fromStdString(settings.m_strPortName);
    int nPortIndex = settings.m_nPortNum;
    // A name kept before the adapter was known by its by-id name finds it by its node too.
    int nByName = strSavedName.isEmpty() ? -1 : m_pComboPort->findData(strSavedName);
    if (nByName < 0 && !strSavedName.isEmpty())
        nByName = m_pComboPort->findData(strSavedName, kNodeRole);
    if (nByName >= 0) {
        nPortIndex = nByName;
    } else if (!strSavedName.isEmpty() && strPreferredPath.isEmpty()) {
        // A typed path (a pseudo-terminal, a symlink) or an adapter not plugged in right now: the
        // same port is offered again rather than whatever now stands at the saved index.
        m_pComboPort->addItem(strSavedName, strSavedName);
        nPortIndex = m_pComboPort->count() - 1;
    }
    if (!strPreferredPath.isEmpty())
        nPortIndex = 0;
    m_pComboPort->setCurrentIndex(nPortIndex);
    ShowEntryStart();

    m_pComboFlow->addItem(QCoreApplication::translate("PortDialog", "无"), 0);
    m_pComboFlow->addItem(QCoreApplication::translate("PortDialog", "硬件"), 1);
    m_pComboFlow->setCurrentIndex(settings.m_nFlow);

    m_pComboLineRate->addItem(QCoreApplication::translate("PortDialog", "自动检测"), static_cast<uint>(kAutoLineRate));
    for (const char *pszRate : BaudRateList)
        m_pComboLineRate->addItem(QString::fromLatin1(pszRate), QString::fromLatin1(pszRate).toUInt());
    m_pComboLineRate->setCurrentIndex(
        std::max(0, m_pComboLineRate->findData(static_cast<uint>(settings.m_nBaud))));
    m_line.bDtr = settings.m_bDtr;
    m_line.bRts = settings.m_bRts;
}

std::function<QList<CPortSelectDlg::CPortEntry>()> CPortSelectDlg::s_fnPortSource;

void CPortSelectDlg::FillPortList(const QString &strPreferredPath)
{
    // A Windows build would list COM1 to COM50 here, as "COM%d", with "\\.\COM%d" as the data.
    // The simulated module says what it is: its pseudo-terminal name alone looks like any other.
    if (!strPreferredPath.isEmpty())
        m_pComboPort->addItem(strPreferredPath + kEntrySeparator +
                                  QCoreApplication::translate("PortDialog", kSimulatedDescription),
                              strPreferredPath);
    for (const CPortEntry &entry : s_fnPortSource ? s_fnPortSource() : SystemPorts()) {
        if (entry.strPath == strPreferredPath)
            continue;
        const QString strText = entry.strDescription.isEmpty()
                                    ? entry.strPath
                                    : entry.strPath + kEntrySeparator + entry.strDescription;
        // A replugged adapter may come back at another node; its by-id name follows it there.
        m_pComboPort->addItem(strText, entry.strById.isEmpty() ? entry.strPath : entry.strById);
        m_pComboPort->setItemData(m_pComboPort->count() - 1, entry.strPath, kNodeRole);
    }
    // The list drops wider than the box, so that each entry shows whole with its description.
    QAbstractItemView *pView = m_pComboPort->view();
    pView->setMinimumWidth(pView->sizeHintForColumn(0) + kListMarginPx);
}

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

QString CPortSelectDlg::ChosenPath() const
{
    // A listed entry gives its path; a typed text is taken as a path up to any description.
    const QString strText = m_pComboPort->currentText().trimmed();
    const int nListed = m_pComboPort->findText(strText, Qt::MatchExactly);
    if (nListed >= 0)
        return m_pComboPort->itemData(nListed).toString();
    return strText.section(kEntrySeparator, 0, 0).trimmed();
}

void CPortSelectDlg::accept()
{
    const QString strPath = ChosenPath();
    if (strPath.isEmpty()) {
        m_pComboPort->setFocus();
        return;
    }
    CPortSettings settings;
    const int nListed = m_pComboPort->findData(strPath);
    settings.m_nPortNum = nListed >= 0 ? nListed : 0;
    settings.m_nFlow = m_pComboFlow->currentIndex() >= 0 ? m_pComboFlow->currentIndex() : 0;
    // A raw pseudo-terminal serves this run only; the next start falls back to the saved index.
    settings.m_strPortName = IsRawPseudoTerminal(strPath) ? std::string() : strPath.toStdString();
    settings.m_nBaud = static_cast<int>(m_pComboLineRate->currentData().toUInt());
    CProfileQt profile;
    settings.Save(profile);

    m_nPort = settings.m_nPortNum + 1;
    m_nFlow = m_pComboFlow->itemData(settings.m_nFlow).toInt();
    m_line.nRate = static_cast<uint32_t>(settings.m_nBaud);
    m_line.nFlow = static_cast<uint8_t>(m_nFlow);
    m_strPortPath = strPath;
    QDialog::accept();
}
