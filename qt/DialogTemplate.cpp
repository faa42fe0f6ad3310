#include "qt/DialogTemplate.h"

#include "engine/ControlIds.h"
#include "qt/GuiCommon.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QVector>

namespace {
constexpr char kTrackbarClass[] = "msctls_trackbar32";
constexpr int kLineHeightDu = 8; // a line of the dialog's font, by the definition of the unit

const CDialogTemplate &FindTemplate(int nId)
{
    for (int i = 0; i < g_nDialogTemplates; ++i) {
        if (g_aDialogTemplates[i].nId == nId)
            return g_aDialogTemplates[i];
    }
    qFatal("The resource script has no dialog template %d", nId);
}

bool IsClass(const CTemplateControl &control, const char *pszClass)
{
    return control.eKind == EControlKind::Control && qstrcmp(control.pszClass, pszClass) == 0;
}

bool IsTrackbar(const CTemplateControl &control)
{
    return IsClass(control, kTrackbarClass);
}

bool IsPicture(const CTemplateControl &control)
{
    return control.eKind == EControlKind::Icon ||
           (IsClass(control, "Static") &&
            (control.nStyle & (RcStyle::kSsBitmap | RcStyle::kSsIcon)) != 0);
}

// A trackbar marks its ends below it unless its style says otherwise.
QSlider::TickPosition TickPosition(unsigned nStyle)
{
    if ((nStyle & RcStyle::kTbsNoTicks) != 0)
        return QSlider::NoTicks;
    return (nStyle & RcStyle::kTbsBoth) != 0 ? QSlider::TicksBothSides : QSlider::TicksBelow;
}

// The controls a label before them names: those without a text of their own.
bool TakesLabel(const CTemplateControl &control)
{
    return control.eKind == EControlKind::EditText || control.eKind == EControlKind::ComboBox ||
           IsTrackbar(control);
}

// A label's text without its trailing colon, as screen readers should announce the field.
QString AccessibleFromLabel(const QString &strLabel)
{
    QString strName = strLabel.trimmed();
    // The full-width colon ends Chinese labels in both languages' catalogue sources.
    if (strName.endsWith(QChar(0xFF1A)) || strName.endsWith(QLatin1Char(':')))
        strName.chop(1);
    return strName;
}

// Builds the widgets of one template, remembering each by its place in the template.
class CTemplateBuilder
{
public:
    CTemplateBuilder(QDialog *pDialog, const CDialogTemplate &dlgTemplate,
                     const CTemplateExtras &extras)
        : m_pDialog(pDialog), m_template(dlgTemplate), m_extras(extras), m_du(pDialog->font()),
          m_widgets(dlgTemplate.nControls, nullptr)
    {}

    QHash<int, QWidget *> Build();

private:
    QString Text(const CTemplateControl &control) const;
    QRect Rect(const CTemplateControl &control) const;
    QWidget *Create(const CTemplateControl &control);
    QWidget *CreateOfClass(const CTemplateControl &control);
    QWidget *CreateLabel(const CTemplateControl &control);
    QWidget *CreateEdit(const CTemplateControl &control);
    QWidget *CreateList(const CTemplateControl &control);
    QWidget *CreateButton(const CTemplateControl &control);
    QWidget *CreateSlider(const CTemplateControl &control);
    QWidget *CreatePicture(const CTemplateControl &control);
    void LinkLabels();
    QString GroupTitleAround(const CTemplateControl &control) const;

    QDialog *m_pDialog = nullptr;
    const CDialogTemplate &m_template;
    const CTemplateExtras &m_extras;
    CDialogUnits m_du;
    QVector<QWidget *> m_widgets; // by the control's place in the template
};

QHash<int, QWidget *> CTemplateBuilder::Build()
{
    // Group boxes first: everything created later lies above their frames. The rest in the
    // template's order, which is also the order the focus takes.
    for (const bool bFrames : {true, false}) {
        for (int i = 0; i < m_template.nControls; ++i) {
            const CTemplateControl &control = m_template.pControls[i];
            if ((control.eKind == EControlKind::GroupBox) == bFrames)
                m_widgets[i] = Create(control);
        }
    }
    QHash<int, QWidget *> mapControls;
    for (int i = 0; i < m_template.nControls; ++i) {
        const CTemplateControl &control = m_template.pControls[i];
        if (m_widgets[i] != nullptr && (control.nStyle & RcStyle::kWsDisabled) != 0)
            m_widgets[i]->setEnabled(false);
        if (m_widgets[i] != nullptr && control.nId != -1)
            mapControls.insert(control.nId, m_widgets[i]);
    }
    LinkLabels();
    return mapControls;
}

// A template text in the user's language; the blanks after it stay, as the Win32 window keeps
// them.
QString CTemplateBuilder::Text(const CTemplateControl &control) const
{
    if (*control.pszText == '\0')
        return QString();
    return QCoreApplication::translate(m_template.pszContext, control.pszText) +
           QString(control.nTrailingBlanks, QLatin1Char(' '));
}

QRect CTemplateBuilder::Rect(const CTemplateControl &control) const
{
    return m_du.Rect(control.nX, control.nY, control.nWidth, control.nHeight);
}

QWidget *CTemplateBuilder::Create(const CTemplateControl &control)
{
    switch (control.eKind) {
    case EControlKind::LText:
        return CreateLabel(control);
    case EControlKind::GroupBox: {
        auto *pGroup = new QGroupBox(Text(control), m_pDialog);
        pGroup->setGeometry(Rect(control));
        return pGroup;
    }
    case EControlKind::PushButton:
    case EControlKind::DefPushButton:
        return CreateButton(control);
    case EControlKind::EditText:
        return CreateEdit(control);
    case EControlKind::ComboBox:
        return CreateList(control);
    case EControlKind::Icon:
        return CreatePicture(control);
    case EControlKind::AutoCheckBox:
    case EControlKind::Control:
        return CreateOfClass(control);
    }
    return nullptr;
}

// A CONTROL statement, by its window class and style; an AUTOCHECKBOX is a button of that style.
QWidget *CTemplateBuilder::CreateOfClass(const CTemplateControl &control)
{
    if (IsTrackbar(control))
        return CreateSlider(control);
    if (IsPicture(control))
        return CreatePicture(control);
    QWidget *pWidget = nullptr;
    if (IsClass(control, "Button") && (control.nStyle & RcStyle::kBsOwnerDraw) != 0) {
        pWidget = m_extras.fnOwnerDrawn ? m_extras.fnOwnerDrawn(control, m_pDialog) : nullptr;
    } else if (control.eKind == EControlKind::AutoCheckBox ||
               (IsClass(control, "Button") && (control.nStyle & RcStyle::kBsAutoCheckBox) != 0)) {
        pWidget = new QCheckBox(Text(control), m_pDialog);
        pWidget->setAccessibleName(Text(control));
    }
    if (pWidget == nullptr) {
        qWarning("No widget for control %d of class %s", control.nId, control.pszClass);
        return nullptr;
    }
    pWidget->setGeometry(Rect(control));
    return pWidget;
}

QWidget *CTemplateBuilder::CreateLabel(const CTemplateControl &control)
{
    const QString strText = Text(control);
    auto *pLabel = new QLabel(strText, m_pDialog);
    if ((control.nStyle & RcStyle::kSsNoPrefix) != 0)
        pLabel->setTextFormat(Qt::PlainText);
    if (control.nHeight >= 2 * kLineHeightDu) {
        // Room for more lines: the text wraps within the template's width, as a static does.
        pLabel->setWordWrap(true);
        pLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        pLabel->setGeometry(Rect(control));
        return pLabel;
    }
    // One line, as wide as its text rather than the template: the window's font and a
    // translation may need more than the design gave, and nothing stands right after a label.
    pLabel->setGeometry(m_du.X(control.nX), m_du.Y(control.nY),
                        pLabel->fontMetrics().horizontalAdvance(strText) + 2,
                        m_du.Y(control.nHeight));
    return pLabel;
}

QWidget *CTemplateBuilder::CreateEdit(const CTemplateControl &control)
{
    auto *pEdit = new QLineEdit(m_pDialog);
    pEdit->setGeometry(Rect(control));
    pEdit->setReadOnly((control.nStyle & RcStyle::kEsReadOnly) != 0);
    // The hint only: what a field takes is the dialog's validator's to decide.
    if ((control.nStyle & RcStyle::kEsNumber) != 0)
        pEdit->setInputMethodHints(Qt::ImhDigitsOnly);
    return pEdit;
}

QWidget *CTemplateBuilder::CreateList(const CTemplateControl &control)
{
    // The template's height includes the dropped list; the closed box takes its natural height.
    auto *pList = new QComboBox(m_pDialog);
    pList->setGeometry(m_du.X(control.nX), m_du.Y(control.nY), m_du.X(control.nWidth),
                       pList->sizeHint().height());
    if ((control.nStyle & RcStyle::kCbsDropDown) != 0) {
        // Any text can be typed, and what was typed stays as typed: no completion turns
        // "/dev/ttyS1" into "/dev/ttyS10", and the first Enter presses the default button.
        pList->setEditable(true);
        pList->setInsertPolicy(QComboBox::NoInsert);
        pList->setCompleter(nullptr);
    }
    return pList;
}

QWidget *CTemplateBuilder::CreateButton(const CTemplateControl &control)
{
    auto *pButton = new QPushButton(Text(control), m_pDialog);
    pButton->setGeometry(Rect(control));
    pButton->setDefault(control.eKind == EControlKind::DefPushButton);
    // What the dialog manager does with the two ids.
    if (control.nId == IDOK)
        QObject::connect(pButton, &QPushButton::clicked, m_pDialog, &QDialog::accept);
    else if (control.nId == IDCANCEL)
        QObject::connect(pButton, &QPushButton::clicked, m_pDialog, &QDialog::reject);
    return pButton;
}

QWidget *CTemplateBuilder::CreateSlider(const CTemplateControl &control)
{
    auto *pSlider = new QSlider(
        (control.nStyle & RcStyle::kTbsVert) != 0 ? Qt::Vertical : Qt::Horizontal, m_pDialog);
    pSlider->setTickPosition(TickPosition(control.nStyle));
    pSlider->setGeometry(Rect(control));
    // It says what it switches by its group's title; its end labels say only which end is which.
    pSlider->setAccessibleName(GroupTitleAround(control));
    return pSlider;
}

QWidget *CTemplateBuilder::CreatePicture(const CTemplateControl &control)
{
    // A picture takes its own size at the template's place, as the dialog manager sizes icons
    // and bitmaps.
    const QPixmap pixmap = m_extras.pictures.value(QString::fromLatin1(control.pszImage));
    auto *pPicture = new QLabel(m_pDialog);
    pPicture->setPixmap(pixmap);
    pPicture->setGeometry(QRect(QPoint(m_du.X(control.nX), m_du.Y(control.nY)),
                                pixmap.deviceIndependentSize().toSize()));
    return pPicture;
}

// Each label stands just before its control, whose buddy it becomes: the relation is what a
// screen reader announces. A label right after a switch marks its other end.
void CTemplateBuilder::LinkLabels()
{
    for (int i = 0; i < m_template.nControls; ++i) {
        auto *pLabel = qobject_cast<QLabel *>(m_widgets[i]);
        if (pLabel == nullptr || m_template.pControls[i].eKind != EControlKind::LText)
            continue;
        int nControl = -1;
        if (i > 0 && IsTrackbar(m_template.pControls[i - 1]))
            nControl = i - 1;
        else if (i + 1 < m_template.nControls && TakesLabel(m_template.pControls[i + 1]))
            nControl = i + 1;
        if (nControl < 0 || m_widgets[nControl] == nullptr)
            continue;
        pLabel->setBuddy(m_widgets[nControl]);
        if (!IsTrackbar(m_template.pControls[nControl]))
            m_widgets[nControl]->setAccessibleName(AccessibleFromLabel(pLabel->text()));
    }
}

// The title of the innermost group box around the control's middle.
QString CTemplateBuilder::GroupTitleAround(const CTemplateControl &control) const
{
    const QPoint ptMiddle(control.nX + control.nWidth / 2, control.nY + control.nHeight / 2);
    const CTemplateControl *pInnermost = nullptr;
    for (int i = 0; i < m_template.nControls; ++i) {
        const CTemplateControl &group = m_template.pControls[i];
        if (group.eKind != EControlKind::GroupBox ||
            !QRect(group.nX, group.nY, group.nWidth, group.nHeight).contains(ptMiddle))
            continue;
        if (pInnermost == nullptr ||
            group.nWidth * group.nHeight < pInnermost->nWidth * pInnermost->nHeight)
            pInnermost = &group;
    }
    return pInnermost != nullptr ? Text(*pInnermost).trimmed() : QString();
}
} // namespace

QHash<int, QWidget *> CreateTemplateControls(QDialog *pDialog, int nTemplateId,
                                             const CTemplateExtras &extras)
{
    const CDialogTemplate &dlgTemplate = FindTemplate(nTemplateId);
    QFont font = KestrelDialogFont();
    font.setPointSize(dlgTemplate.nFontPoints);
    pDialog->setFont(font);
    const CDialogUnits du(pDialog->font());
    pDialog->setFixedSize(du.X(dlgTemplate.nWidth), du.Y(dlgTemplate.nHeight));
    pDialog->setWindowTitle(
        QCoreApplication::translate(dlgTemplate.pszContext, dlgTemplate.pszCaption));
    return CTemplateBuilder(pDialog, dlgTemplate, extras).Build();
}
