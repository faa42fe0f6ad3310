// The form's widgets: placed by the resource script's main dialog template, with what the
// Qt window adds to it (the fields' validators, the switches' set-up, the status line).

#include "engine/FieldFilter.h"
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

// Every text field takes only what GBK holds, within its parameter's byte limit; a number field
// only digits. What the fields start with is the engine's (its form's start).
void SetUpFields(const QHash<int, QWidget *> &mapControls)
{
    for (auto it = mapControls.begin(); it != mapControls.end(); ++it) {
        if (auto *pEdit = qobject_cast<QLineEdit *>(it.value()))
            pEdit->setValidator(new CGbkFieldValidator(it.key(), pEdit));
    }
    // The address box's edit field is a way in like any other: the same GBK rule, no byte limit
    // of its own (the Set check wants twelve characters).
    auto *pBindAddr = qobject_cast<QComboBox *>(mapControls.value(IDC_COMBO_BINDADDR));
    pBindAddr->setValidator(new CGbkFieldValidator(IDC_COMBO_BINDADDR, pBindAddr));
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
