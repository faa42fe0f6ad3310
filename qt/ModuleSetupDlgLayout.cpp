// The form's widgets: placed by the resource script's main dialog template, with what the
// Qt window adds to it (the fields' validators, the switches' set-up, the status line).

#include "engine/ParamTable.h"
#include "qt/DialogTemplate.h"
#include "qt/GuiCommon.h"
#include "qt/ModuleSetupDlg.h"
#include "qt/StatusLabel.h"
#include "res/resource.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <QValidator>

namespace {
constexpr int kSliderMax = 100;
constexpr int kNoLimit = -1;

// A text field's byte limit, as the parameter table gives it.
int ByteLimit(int nId)
{
    const size_t nMaxBytes = FieldByteLimit(nId);
    return nMaxBytes == 0 ? kNoLimit : static_cast<int>(nMaxBytes);
}

// Refuses input that would take a field over its byte limit in GBK (a Chinese character counts
// two), characters GBK cannot carry (the core's rule, which the command line applies too), and,
// for number fields, anything but digits.
class CGbkFieldValidator : public QValidator
{
public:
    CGbkFieldValidator(int nMaxBytes, bool bDigitsOnly, QObject *pParent)
        : QValidator(pParent), m_nMaxBytes(nMaxBytes), m_bDigitsOnly(bDigitsOnly)
    {}

    State validate(QString &strInput, int &) const override
    {
        if (m_bDigitsOnly) {
            for (const QChar ch : strInput) {
                if (ch < QLatin1Char('0') || ch > QLatin1Char('9'))
                    return Invalid;
            }
        }
        int nBytes = 0;
        if (!IsGbkText(strInput, nBytes) || (m_nMaxBytes != kNoLimit && nBytes > m_nMaxBytes))
            return Invalid;
        return Acceptable;
    }

private:
    int m_nMaxBytes = kNoLimit;
    bool m_bDigitsOnly = false;
};

// Every text field takes only what GBK holds, within its parameter's byte limit; a number field
// only digits. The timing groups' numbers start at 0, as the form's members do; the class code
// is a text of digits and starts empty.
void SetUpFields(const QHash<int, QWidget *> &mapControls)
{
    for (auto it = mapControls.begin(); it != mapControls.end(); ++it) {
        auto *pEdit = qobject_cast<QLineEdit *>(it.value());
        if (pEdit == nullptr)
            continue;
        const bool bDigitsOnly = pEdit->inputMethodHints().testFlag(Qt::ImhDigitsOnly);
        pEdit->setValidator(new CGbkFieldValidator(ByteLimit(it.key()), bDigitsOnly, pEdit));
        if (bDigitsOnly && FieldByteLimit(it.key()) == 0)
            pEdit->setText(QStringLiteral("0"));
    }
    // The address box's edit field is a way in like any other: the same GBK rule, no byte limit
    // of its own (the Set check wants twelve characters).
    auto *pBindAddr = qobject_cast<QComboBox *>(mapControls.value(IDC_COMBO_BINDADDR));
    pBindAddr->setValidator(new CGbkFieldValidator(kNoLimit, false, pBindAddr));
}

// A two-position switch on its group's top edge: one step carries it end to end. It and its end
// labels paint over the frame line, which the group's title leaves clear for them.
void SetUpSwitch(QSlider *pSlider)
{
    pSlider->setRange(0, kSliderMax);
    pSlider->setPageStep(kSliderMax);
    pSlider->setSingleStep(kSliderMax);
    pSlider->setValue(0);
    pSlider->setAutoFillBackground(true);
    for (QLabel *pLabel : pSlider->parentWidget()->findChildren<QLabel *>()) {
        if (pLabel->buddy() == pSlider)
            pLabel->setAutoFillBackground(true);
    }
}
} // namespace

void CModuleSetupDlg::CreateControls()
{
    CTemplateExtras extras;
    extras.fnOwnerDrawn = [this](const CTemplateControl &, QWidget *pParent) {
        m_pStatus = new CStatusLabel(pParent);
        return m_pStatus;
    };
    m_mapControls = CreateTemplateControls(this, IDD_MODULESETUP_DIALOG, extras);
    SetUpFields(m_mapControls);
    for (const int nId : {IDC_SLIDER_SCAN, IDC_SLIDER_SNIFF})
        SetUpSwitch(Find<QSlider>(nId));
}
