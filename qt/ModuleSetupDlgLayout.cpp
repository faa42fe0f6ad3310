// The form's widgets, placed in the dialog units the window was designed in.

#include "engine/FieldFilter.h"
#include "engine/ParamTable.h"
#include "qt/GuiCommon.h"
#include "qt/ModuleSetupDlg.h"
#include "qt/StatusLabel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QValidator>

namespace {
constexpr int kDialogWidthDu = 279;
constexpr int kDialogHeightDu = 293;
constexpr int kLabelHeightDu = 8;
constexpr int kSliderMax = 100;
constexpr int kNoLimit = -1;

// A text field's byte limit, as the parameter table gives it.
int ByteLimit(int nId)
{
    const size_t nMaxBytes = FieldByteLimit(nId);
    return nMaxBytes == 0 ? kNoLimit : static_cast<int>(nMaxBytes);
}

constexpr char kScanGroup[] = QT_TRANSLATE_NOOP("MainWindow", "节能参数（待机状态）");
constexpr char kSniffGroup[] = QT_TRANSLATE_NOOP("MainWindow", "Sniff节能参数（连接参数）");

// Refuses what the field cannot take, by the core's rule for every window: a character GBK cannot
// carry, more GBK bytes than the parameter allows, anything but digits in a number field.
class CGbkFieldValidator : public QValidator
{
public:
    CGbkFieldValidator(int nId, QObject *pParent) : QValidator(pParent), m_nId(nId) {}

    State validate(QString &strInput, int &) const override
    {
        return FieldAccepts(m_nId, strInput.toStdString()) ? Acceptable : Invalid;
    }

private:
    int m_nId = 0;
};

// A label's text without its trailing colon, as screen readers should announce the field.
QString AccessibleFromLabel(const QString &strLabel)
{
    QString strName = strLabel.trimmed();
    // The full-width colon ends Chinese labels in both languages' catalogue sources.
    if (strName.endsWith(QChar(0xFF1A)) || strName.endsWith(QLatin1Char(':')))
        strName.chop(1);
    return strName;
}
} // namespace

void CModuleSetupDlg::CreateControls()
{
    setFont(KestrelDialogFont());
    const CDialogUnits du(font());
    setFixedSize(du.X(kDialogWidthDu), du.Y(kDialogHeightDu));
    // Group boxes first: everything created later lies above their frames.
    CreateGroupBoxes();
    CreateBasicControls();
    CreateSerialControls();
    CreatePowerControls();
    CreateBottomControls();
}

void CModuleSetupDlg::CreateGroupBoxes()
{
    const CDialogUnits du(font());
    // The trailing spaces keep the frame line clear where each slider sits on it.
    const struct
    {
        QString strTitle;
        QRect rectDu;
    } aGroups[] = {
        {QCoreApplication::translate("MainWindow", "基本设置"), QRect(7, 10, 265, 61)},
        {QCoreApplication::translate("MainWindow", "串口参数"), QRect(7, 73, 265, 45)},
        {QCoreApplication::translate("MainWindow", kScanGroup) + QString(34, QLatin1Char(' ')),
         QRect(7, 124, 265, 85)},
        {QCoreApplication::translate("MainWindow", kSniffGroup) + QString(29, QLatin1Char(' ')),
         QRect(7, 174, 265, 35)},
        {QString(), QRect(7, 210, 265, 29)},
    };
    for (const auto &group : aGroups) {
        auto *pGroup = new QGroupBox(group.strTitle, this);
        const QRect &r = group.rectDu;
        pGroup->setGeometry(du.Rect(r.x(), r.y(), r.width(), r.height()));
    }
}

void CModuleSetupDlg::CreateBasicControls()
{
    CreateEdit(IDC_EDIT_NAME, QCoreApplication::translate("MainWindow", "设备名称："), QRect(54, 20, 57, 14),
               ByteLimit(IDC_EDIT_NAME), false);
    CreateStaticText(QCoreApplication::translate("MainWindow", "设备名称："), 13, 23, IDC_EDIT_NAME);
    CreateEdit(IDC_EDIT_CLASS, QCoreApplication::translate("MainWindow", "类别码："), QRect(54, 36, 57, 14),
               ByteLimit(IDC_EDIT_CLASS), true);
    CreateStaticText(QCoreApplication::translate("MainWindow", "类别码："), 13, 38, IDC_EDIT_CLASS);
    CreateEdit(IDC_EDIT_VERSION, QCoreApplication::translate("MainWindow", "固件版本号："), QRect(169, 20, 80, 13), kNoLimit,
               false);
    CreateStaticText(QCoreApplication::translate("MainWindow", "固件版本号："), 118, 22, IDC_EDIT_VERSION);
    Find<QLineEdit>(IDC_EDIT_VERSION)->setReadOnly(true);
    CreateCheck(IDC_CHECK_ROLE, QCoreApplication::translate("MainWindow", "主设备"),
                QRect(13, 55, 40, 10));
    CreateCheck(IDC_CHECK_BIND, QCoreApplication::translate("MainWindow", "绑定地址"),
                QRect(63, 55, 48, 10));
    CreateCheck(IDC_CHECK_AUTH, QCoreApplication::translate("MainWindow", "是否加密"),
                QRect(118, 55, 48, 10));
    // Shown in clear: the module reports it in clear anyway.
    CreateEdit(IDC_EDIT_PASSWORD, QCoreApplication::translate("MainWindow", "密码："), QRect(200, 52, 56, 14),
               ByteLimit(IDC_EDIT_PASSWORD), false);
    CreateStaticText(QCoreApplication::translate("MainWindow", "密码："), 171, 55, IDC_EDIT_PASSWORD);
    Find<QLineEdit>(IDC_EDIT_PASSWORD)->setReadOnly(true);
}

void CModuleSetupDlg::CreateSerialControls()
{
    // A combo box's accessible name is its current text; the label reaches a screen reader only
    // as the buddy relation.
    CreateList(IDC_COMBO_BAUD, QCoreApplication::translate("MainWindow", "波特率："),
               QRect(56, 84, 59, 157));
    CreateStaticText(QCoreApplication::translate("MainWindow", "波特率："), 17, 86, IDC_COMBO_BAUD);
    CreateList(IDC_COMBO_PARITY, QCoreApplication::translate("MainWindow", "校验位："),
               QRect(169, 85, 57, 97));
    CreateStaticText(QCoreApplication::translate("MainWindow", "校验位："), 131, 87,
                     IDC_COMBO_PARITY);
    CreateList(IDC_COMBO_STOPBITS, QCoreApplication::translate("MainWindow", "停止位："),
               QRect(55, 101, 59, 71));
    CreateStaticText(QCoreApplication::translate("MainWindow", "停止位："), 17, 102,
                     IDC_COMBO_STOPBITS);
}

void CModuleSetupDlg::CreatePowerControls()
{
    CreateSlider(IDC_SLIDER_SCAN, QCoreApplication::translate("MainWindow", kScanGroup),
                 QRect(150, 121, 50, 15), 132, 204, 125);
    const struct
    {
        int nId;
        const char *pszLabel;
        int nLabelX, nLabelY;
        QRect rectDu;
    } aEdits[] = {
        {IDC_EDIT_CONN_INTERVAL, QT_TRANSLATE_NOOP("MainWindow", "连接间隔："), 13, 140,
         QRect(62, 136, 42, 14)},
        {IDC_EDIT_CONN_DURATION, QT_TRANSLATE_NOOP("MainWindow", "连接持续："), 130, 140,
         QRect(186, 136, 42, 14)},
        {IDC_EDIT_INQ_INTERVAL, QT_TRANSLATE_NOOP("MainWindow", "查询间隔："), 13, 157,
         QRect(62, 155, 42, 14)},
        {IDC_EDIT_INQ_DURATION, QT_TRANSLATE_NOOP("MainWindow", "查询持续："), 130, 157,
         QRect(186, 155, 42, 14)},
        {IDC_EDIT_SNIFF_MAX, QT_TRANSLATE_NOOP("MainWindow", "最大："), 11, 188,
         QRect(37, 186, 36, 14)},
        {IDC_EDIT_SNIFF_MIN, QT_TRANSLATE_NOOP("MainWindow", "最小："), 77, 188,
         QRect(104, 186, 36, 14)},
        {IDC_EDIT_SNIFF_ATTEMPT, QT_TRANSLATE_NOOP("MainWindow", "尝试："), 144, 188,
         QRect(169, 186, 36, 14)},
        {IDC_EDIT_SNIFF_TIMEOUT, QT_TRANSLATE_NOOP("MainWindow", "超时："), 208, 188,
         QRect(234, 186, 36, 14)},
    };
    for (const auto &edit : aEdits) {
        const QString strLabel = QCoreApplication::translate("MainWindow", edit.pszLabel);
        CreateEdit(edit.nId, strLabel, edit.rectDu, kNoLimit, true);
        CreateStaticText(strLabel, edit.nLabelX, edit.nLabelY, edit.nId);
        Find<QLineEdit>(edit.nId)->setText(QStringLiteral("0"));
    }
    CreateSlider(IDC_SLIDER_SNIFF, QCoreApplication::translate("MainWindow", kSniffGroup),
                 QRect(150, 170, 50, 15), 132, 203, 173);
}

void CModuleSetupDlg::CreateBottomControls()
{
    const CDialogUnits du(font());
    QComboBox *pBindAddr =
        CreateList(IDC_COMBO_BINDADDR, QCoreApplication::translate("MainWindow", "绑定的蓝牙地址"),
                   QRect(79, 221, 115, 97));
    CreateStaticText(QCoreApplication::translate("MainWindow", "绑定的蓝牙地址"), 13, 222,
                     IDC_COMBO_BINDADDR);
    pBindAddr->setEditable(true);
    pBindAddr->setInsertPolicy(QComboBox::NoInsert);
    pBindAddr->setCompleter(nullptr); // what is typed stays as typed, as in a plain drop-down
    // The edit field is a way in like any other: the same GBK rule, no byte limit of its own
    // (the Set check wants twelve characters).
    pBindAddr->setValidator(new CGbkFieldValidator(IDC_COMBO_BINDADDR, pBindAddr));
    pBindAddr->setEnabled(false);
    CreateButton(IDC_BUTTON_SEARCH, QCoreApplication::translate("MainWindow", "搜索设备"),
                 QRect(206, 220, 50, 14));

    CreateButton(IDC_BUTTON_QUERY, QCoreApplication::translate("MainWindow", "查询(&I)"),
                 QRect(8, 246, 45, 16));
    CreateButton(IDC_BUTTON_SET, QCoreApplication::translate("MainWindow", "设置(&S)"),
                 QRect(61, 246, 45, 16));
    CreateButton(IDC_BUTTON_DEFAULT, QCoreApplication::translate("MainWindow", "默认"),
                 QRect(114, 246, 45, 16));
    CreateButton(IDC_BUTTON_CLEARADDR, QCoreApplication::translate("MainWindow", "清除地址"),
                 QRect(167, 246, 45, 16));
    CreateButton(IDC_BUTTON_CLOSE, QCoreApplication::translate("MainWindow", "关闭"),
                 QRect(220, 246, 45, 16));

    m_pStatus = new CStatusLabel(this);
    m_pStatus->setGeometry(du.Rect(7, 273, 153, 11));
    m_mapControls.insert(IDC_STATUS, m_pStatus);
    CreateEdit(IDC_EDIT_LOCALADDR, QCoreApplication::translate("MainWindow", "本地蓝牙地址"),
               QRect(217, 271, 55, 13), kNoLimit, false);
    CreateStaticText(QCoreApplication::translate("MainWindow", "本地蓝牙地址"), 166, 274,
                     IDC_EDIT_LOCALADDR);
    Find<QLineEdit>(IDC_EDIT_LOCALADDR)->setReadOnly(true);
}

void CModuleSetupDlg::CreateStaticText(const QString &strText, int nX, int nY, int nBuddyId)
{
    const CDialogUnits du(font());
    auto *pLabel = new QLabel(strText, this);
    pLabel->setBuddy(m_mapControls.value(nBuddyId));
    const int nWidthPx = pLabel->fontMetrics().horizontalAdvance(strText) + 2;
    pLabel->setGeometry(du.X(nX), du.Y(nY), nWidthPx, du.Y(kLabelHeightDu));
}

void CModuleSetupDlg::CreateEdit(int nId, const QString &strLabel, const QRect &rectDu,
                                 int nMaxBytes, bool bDigitsOnly)
{
    const CDialogUnits du(font());
    auto *pEdit = new QLineEdit(this);
    pEdit->setGeometry(du.Rect(rectDu.x(), rectDu.y(), rectDu.width(), rectDu.height()));
    // The field filter knows each field's limit and kind; the arguments say the same.
    (void)nMaxBytes;
    (void)bDigitsOnly;
    pEdit->setValidator(new CGbkFieldValidator(nId, pEdit));
    pEdit->setAccessibleName(AccessibleFromLabel(strLabel));
    m_mapControls.insert(nId, pEdit);
}

QComboBox *CModuleSetupDlg::CreateList(int nId, const QString &strLabel, const QRect &rectDu)
{
    // The designed height includes the dropped list; the closed box takes its natural height.
    const CDialogUnits du(font());
    auto *pList = new QComboBox(this);
    pList->setGeometry(du.X(rectDu.x()), du.Y(rectDu.y()), du.X(rectDu.width()),
                       pList->sizeHint().height());
    pList->setAccessibleName(AccessibleFromLabel(strLabel));
    m_mapControls.insert(nId, pList);
    return pList;
}

void CModuleSetupDlg::CreateCheck(int nId, const QString &strText, const QRect &rectDu)
{
    const CDialogUnits du(font());
    auto *pCheck = new QCheckBox(strText, this);
    pCheck->setGeometry(du.Rect(rectDu.x(), rectDu.y(), rectDu.width(), rectDu.height()));
    pCheck->setAccessibleName(strText);
    m_mapControls.insert(nId, pCheck);
}

void CModuleSetupDlg::CreateButton(int nId, const QString &strText, const QRect &rectDu)
{
    const CDialogUnits du(font());
    auto *pButton = new QPushButton(strText, this);
    pButton->setGeometry(du.Rect(rectDu.x(), rectDu.y(), rectDu.width(), rectDu.height()));
    m_mapControls.insert(nId, pButton);
}

void CModuleSetupDlg::CreateSlider(int nId, const QString &strGroup, const QRect &rectDu, int nOffX,
                                   int nOnX, int nLabelY)
{
    // A two-position switch on the group's top edge: one step carries it end to end.
    const CDialogUnits du(font());
    auto *pSlider = new QSlider(Qt::Horizontal, this);
    pSlider->setRange(0, kSliderMax);
    pSlider->setPageStep(kSliderMax);
    pSlider->setSingleStep(kSliderMax);
    pSlider->setValue(0);
    pSlider->setTickPosition(QSlider::NoTicks);
    pSlider->setGeometry(du.Rect(rectDu.x(), rectDu.y(), rectDu.width(), rectDu.height()));
    pSlider->setAutoFillBackground(true);
    pSlider->setAccessibleName(strGroup);
    m_mapControls.insert(nId, pSlider);

    for (const auto &[strText, nX] :
         {std::pair{QCoreApplication::translate("MainWindow", "《关"), nOffX},
          std::pair{QCoreApplication::translate("MainWindow", "开》"), nOnX}}) {
        auto *pLabel = new QLabel(strText, this);
        pLabel->setBuddy(pSlider);
        pLabel->setAutoFillBackground(true);
        pLabel->setGeometry(du.X(nX), du.Y(nLabelY),
                            pLabel->fontMetrics().horizontalAdvance(strText) + 2,
                            du.Y(kLabelHeightDu));
    }
}
