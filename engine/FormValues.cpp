#include "engine/FormValues.h"

#include "engine/ModuleSetupEngine.h"
#include "protocol/AtProtocol.h"

namespace {

// A list index beyond the named entries is the empty entry: nothing chosen.
int32_t ListChoice(int nIndex, const CParamRow &row)
{
    return nIndex >= 0 && static_cast<size_t>(nIndex) < row.choices.size() ? nIndex : -1;
}

// A found device's entry reads "address name"; Set takes the address, so a file keeps that.
std::string AddressAsSetTakesIt(const std::string &strText)
{
    const size_t nFirst = strText.find_first_not_of(" \t");
    if (nFirst == std::string::npos)
        return {};
    const size_t nLast = strText.find_last_not_of(" \t");
    const std::string strTrimmed = strText.substr(nFirst, nLast - nFirst + 1);
    return strTrimmed.size() >= BLUETOOTH_ADDRESS_LENGTH
               ? strTrimmed.substr(0, BLUETOOTH_ADDRESS_LENGTH)
               : strTrimmed;
}

} // namespace

void CSetValues::Ask(std::string ModuleParams::*pField, std::string strValue)
{
    params.*pField = std::move(strValue);
    Ask(ParamOf(pField));
}

void CSetValues::Ask(int32_t ModuleParams::*pField, int32_t nValue)
{
    params.*pField = nValue;
    Ask(ParamOf(pField));
}

int BaudIndex(const std::string &strBaud)
{
    for (int i = 0; i < BAUD_RATE_COUNT; ++i) {
        if (strBaud == BaudRateList[i])
            return i;
    }
    return -1;
}

void CModuleSetupEngine::ApplyValues(const CSetValues &values)
{
    const ModuleParams &params = values.params;
    for (const CParamRow &row : ParamTable) {
        if (!values.Has(row))
            continue;
        switch (row.eKind) {
        case EParamKind::Text:
            m_view.SetWindowText(row.nId, params.*row.pText);
            break;
        case EParamKind::Baud:
            if (BaudIndex(params.*row.pText) >= 0)
                m_view.SetCurSel(row.nId, BaudIndex(params.*row.pText));
            break;
        case EParamKind::Choice:
        case EParamKind::Switch:
            if (row.bCheckBox)
                SetCheckState(row.nId, params.*row.pInt);
            else
                m_view.SetCurSel(row.nId, params.*row.pInt);
            break;
        case EParamKind::Group:
            for (const CParamMember &member : row.members)
                m_view.SetWindowText(member.nId, params.*member.pField);
            break;
        case EParamKind::LocalAddress:
            break;
        }
    }
    // The boxes were set as a click would set them; the fields they govern follow.
    if (values.Has(ParamOf(&ModuleParams::Auth)))
        OnCheckAuth();
    if (values.Has(ParamOf(&ModuleParams::Bind)))
        OnCheckBind();
}

CSetFormInput CModuleSetupEngine::ReadFormRecord()
{
    ModuleParams params;
    for (const CParamRow &row : ParamTable) {
        if (row.pText)
            params.*row.pText =
                row.pFormText ? m_formValues.*row.pFormText : m_view.GetWindowText(row.nId);
        if (row.pInt)
            params.*row.pInt = row.bCheckBox ? CheckState(row.nId) : m_view.GetCurSel(row.nId);
        for (const CParamMember &member : row.members)
            params.*member.pField = std::to_string(m_formValues.*member.pFormValue);
    }
    return params;
}

bool CModuleSetupEngine::ReadFormValues(ModuleParams &params, std::string &strLocalAddr)
{
    if (!UpdateData(true))
        return false;
    params = ReadFormRecord();
    for (const CParamRow &row : ParamTable) {
        if (row.pInt && !row.bCheckBox)
            params.*row.pInt = ListChoice(params.*row.pInt, row);
    }
    params.BindAddr = AddressAsSetTakesIt(params.BindAddr);
    strLocalAddr = m_formValues.m_strLocalAddr;
    return true;
}
