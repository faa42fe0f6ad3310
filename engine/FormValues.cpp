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

void ApplyValuesToForm(CModuleSetupEngine &engine, const CSetValues &values)
{
    const ModuleParams &params = values.params;
    for (const CParamRow &row : ParamTable) {
        if (!values.Has(row))
            continue;
        switch (row.eKind) {
        case EParamKind::Text:
            engine.SetWindowText(row.nId, params.*row.pText);
            break;
        case EParamKind::Baud:
            if (BaudIndex(params.*row.pText) >= 0)
                engine.SetCurSel(row.nId, BaudIndex(params.*row.pText));
            break;
        case EParamKind::Choice:
        case EParamKind::Switch:
            if (row.bCheckBox)
                engine.SetCheck(row.nId, params.*row.pInt);
            else
                engine.SetCurSel(row.nId, params.*row.pInt);
            break;
        case EParamKind::Group:
            for (const CParamMember &member : row.members)
                engine.SetWindowText(member.nId, params.*member.pField);
            break;
        case EParamKind::LocalAddress:
            break;
        }
    }
}

ModuleParams ReadFormRecord(CModuleSetupEngine &engine)
{
    ModuleParams params;
    for (const CParamRow &row : ParamTable) {
        if (row.pText)
            params.*row.pText =
                row.pFormText ? engine.*row.pFormText : engine.GetWindowText(row.nId);
        if (row.pInt)
            params.*row.pInt = row.bCheckBox ? engine.GetCheck(row.nId) : engine.GetCurSel(row.nId);
        for (const CParamMember &member : row.members)
            params.*member.pField = std::to_string(engine.*member.pFormValue);
    }
    return params;
}

bool ReadFormValues(CModuleSetupEngine &engine, ModuleParams &params, std::string &strLocalAddr)
{
    if (!engine.UpdateData(true))
        return false;
    params = ReadFormRecord(engine);
    for (const CParamRow &row : ParamTable) {
        if (row.pInt && !row.bCheckBox)
            params.*row.pInt = ListChoice(params.*row.pInt, row);
    }
    params.BindAddr = AddressAsSetTakesIt(params.BindAddr);
    strLocalAddr = engine.m_strLocalAddr;
    return true;
}
