#include "engine/ModuleSetupEngine.h"
#include "engine/FormValues.h"
#include "engine/ParamTable.h"
#include "engine/UiText.h"

#include <limits>

namespace {

// Our own wording of the standard messages for a failed field check (UTF-8).
constexpr CUiSource kMsgNotUnsigned = KESTREL_TR_NOOP("Engine", "请输入一个整数。");
constexpr CUiSource kMsgOutOfRange =
    KESTREL_TR_NOOP("Engine", "请输入一个介于 0 和 %s 之间的整数。");
constexpr CUiSource kMsgTooLong = KESTREL_TR_NOOP("Engine", "输入的内容不能超过 %s 个字节。");
constexpr CUiSource kCaptionNotice = KESTREL_TR_NOOP("Engine", "提示");

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

// An unsigned decimal number with optional blanks around it that fits 32 bits.
bool ParseUnsigned(const std::string &strText, uint32_t &nValue)
{
    size_t i = 0;
    while (i < strText.size() && IsBlank(strText[i]))
        ++i;
    const size_t nFirstDigit = i;
    uint64_t nNumber = 0;
    for (; i < strText.size() && strText[i] >= '0' && strText[i] <= '9'; ++i) {
        nNumber = nNumber * 10 + static_cast<uint64_t>(strText[i] - '0');
        if (nNumber > std::numeric_limits<uint32_t>::max())
            return false;
    }
    if (i == nFirstDigit)
        return false;
    while (i < strText.size() && IsBlank(strText[i]))
        ++i;
    if (i != strText.size())
        return false;
    nValue = static_cast<uint32_t>(nNumber);
    return true;
}

} // namespace

bool CModuleSetupEngine::UpdateData(bool bSaveAndValidate)
{
    // The order is the form's tab order: a read stops at the first field that fails.
    for (const CFormField &field : FormFieldsInTabOrder()) {
        const bool bOk =
            field.pText
                ? ExchangeText(bSaveAndValidate, field.nId, m_formValues.*field.pText, field.nMaxBytes)
                : ExchangeUInt(bSaveAndValidate, field.nId, m_formValues.*field.pNumber, field.nMaxValue);
        if (!bOk)
            return false;
    }
    return true;
}

// nMaxBytes 0 means no limit. A text over its limit leaves the member as it was, so a member
// never holds a value that failed its check.
bool CModuleSetupEngine::ExchangeText(bool bSave, int nId, std::string &strValue, size_t nMaxBytes)
{
    if (!bSave) {
        m_view.SetWindowText(nId, strValue);
        return true;
    }
    std::string strText = m_view.GetWindowText(nId);
    if (const std::string strProblem = TextFieldProblem(strText, nMaxBytes); !strProblem.empty())
        return FailField(nId, strProblem);
    strValue = std::move(strText);
    return true;
}

bool CModuleSetupEngine::ExchangeUInt(bool bSave, int nId, uint32_t &nValue, uint32_t nMaxValue)
{
    if (!bSave) {
        m_view.SetWindowText(nId, FormatUInt(nValue));
        return true;
    }
    const std::string strProblem = NumberFieldProblem(m_view.GetWindowText(nId), nMaxValue, nValue);
    return strProblem.empty() || FailField(nId, strProblem);
}

std::string CModuleSetupEngine::TextFieldProblem(const std::string &strText, size_t nMaxBytes)
{
    if (nMaxBytes != 0 && strText.size() > nMaxBytes)
        return FormatWithText(Tr("Engine", kMsgTooLong), FormatUInt(nMaxBytes));
    return {};
}

std::string CModuleSetupEngine::NumberFieldProblem(const std::string &strText, uint32_t nMaxValue,
                                                   uint32_t &nValue)
{
    uint32_t nRead = 0;
    if (!ParseUnsigned(strText, nRead))
        return Tr("Engine", kMsgNotUnsigned);
    if (nRead > nMaxValue)
        return FormatWithText(Tr("Engine", kMsgOutOfRange), FormatUInt(nMaxValue));
    nValue = nRead;
    return {};
}

// The fields the request names, in the form's order, as reading the form would check them.
std::string CModuleSetupEngine::CheckSetValues(const CSetValues &request,
                                               ModuleParams &snapshot) const
{
    for (const CFormField &field : FormFieldsInTabOrder()) {
        for (const CParamRow &row : ParamTable) {
            if (!request.Has(row))
                continue;
            if (field.pText && row.pFormText == field.pText && row.pText) {
                if (std::string strProblem =
                        TextFieldProblem(request.params.*row.pText, field.nMaxBytes);
                    !strProblem.empty())
                    return strProblem;
            }
            for (const CParamMember &member : row.members) {
                uint32_t nValue = 0;
                if (field.pNumber && member.pFormValue == field.pNumber) {
                    if (std::string strProblem = NumberFieldProblem(
                            request.params.*member.pField, field.nMaxValue, nValue);
                        !strProblem.empty())
                        return strProblem;
                }
            }
        }
    }
    CSetFormInput input = RequestInput(request);
    const CUiSource message = CheckSetForm(input, &snapshot);
    return message.pText ? std::string(Tr("Engine", message)) : std::string();
}

bool CModuleSetupEngine::FailField(int nId, const std::string &strMessage)
{
    m_view.MessageBox(strMessage, Tr("Engine", kCaptionNotice), MB_ICONEXCLAMATION);
    m_view.SetFocus(nId);
    return false;
}

void CModuleSetupEngine::ClearForm()
{
    for (int nId : {IDC_EDIT_NAME, IDC_EDIT_CLASS, IDC_EDIT_VERSION})
        m_view.SetWindowText(nId, "");
    for (int nId : {IDC_EDIT_CONN_INTERVAL, IDC_EDIT_CONN_DURATION, IDC_EDIT_INQ_INTERVAL,
                    IDC_EDIT_INQ_DURATION, IDC_EDIT_SNIFF_MAX, IDC_EDIT_SNIFF_MIN,
                    IDC_EDIT_SNIFF_ATTEMPT, IDC_EDIT_SNIFF_TIMEOUT})
        m_view.SetWindowText(nId, "0");
    m_view.SetWindowText(IDC_EDIT_PASSWORD, "");
    for (int nId : {IDC_CHECK_ROLE, IDC_CHECK_BIND, IDC_CHECK_AUTH})
        SetCheckState(nId, 0);
    m_view.SetWindowText(IDC_EDIT_LOCALADDR, "");
    // The last entry of each list is the empty one: "nothing read yet".
    for (int nId : {IDC_COMBO_PARITY, IDC_COMBO_STOPBITS, IDC_COMBO_BAUD})
        m_view.SetCurSel(nId, m_view.GetCount(nId) - 1);
}

void CModuleSetupEngine::OnCheckAuth()
{
    m_view.SetReadOnly(IDC_EDIT_PASSWORD, CheckState(IDC_CHECK_AUTH) == 0);
}

void CModuleSetupEngine::OnCheckBind()
{
    m_view.EnableWindow(IDC_COMBO_BINDADDR, CheckState(IDC_CHECK_BIND) != 0);
}

// A power-saving switch presets its group's four fields: on (thumb above 0) or off.
void CModuleSetupEngine::ApplySliderPreset(int nSliderId)
{
    if (!UpdateData(true))
        return;
    const bool bOn = m_view.GetSliderPos(nSliderId) > 0;
    for (const CParamMember &member : FindParamByControl(nSliderId)->members)
        m_formValues.*member.pFormValue = bOn ? member.nSliderOn : member.nSliderOff;
    UpdateData(false);
}

void CModuleSetupEngine::OnReleasedCaptureSliderScan()
{
    ApplySliderPreset(IDC_SLIDER_SCAN);
}

void CModuleSetupEngine::OnReleasedCaptureSliderSniff()
{
    ApplySliderPreset(IDC_SLIDER_SNIFF);
}

void CModuleSetupEngine::StartAutoQuery()
{
    // The rate is found first; a reading due before the probe ends waits for it.
    if (m_bAutoLineRate)
        StartLineProbe();
    m_view.SetTimer(TIMER_AUTOQUERY, kAutoQueryDelay);
}
