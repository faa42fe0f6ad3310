#include "dialog/FormValues.h"

#include "dialog/ModuleSetupEngine.h"
#include "protocol/AtProtocol.h"

namespace {

// The edits of the two groups of four, in the order the request and the record list them.
constexpr int kScanIds[4] = {IDC_EDIT_CONN_INTERVAL, IDC_EDIT_CONN_DURATION, IDC_EDIT_INQ_INTERVAL,
                             IDC_EDIT_INQ_DURATION};
constexpr int kSniffIds[4] = {IDC_EDIT_SNIFF_MAX, IDC_EDIT_SNIFF_MIN, IDC_EDIT_SNIFF_ATTEMPT,
                              IDC_EDIT_SNIFF_TIMEOUT};

// A text of the request and the edit that shows it.
struct CTextControl
{
    std::optional<std::string> CSetValues::*pValue;
    int nId;
};

constexpr CTextControl kTextControls[] = {{&CSetValues::strName, IDC_EDIT_NAME},
                                          {&CSetValues::strClass, IDC_EDIT_CLASS},
                                          {&CSetValues::strPassword, IDC_EDIT_PASSWORD},
                                          {&CSetValues::strBindAddr, IDC_COMBO_BINDADDR}};

// A choice of the request and the list or check box that shows it.
struct CChoiceControl
{
    std::optional<int> CSetValues::*pValue;
    int nId;
    bool bCheckBox;
};

constexpr CChoiceControl kChoiceControls[] = {{&CSetValues::nParity, IDC_COMBO_PARITY, false},
                                              {&CSetValues::nStopBits, IDC_COMBO_STOPBITS, false},
                                              {&CSetValues::nRole, IDC_CHECK_ROLE, true},
                                              {&CSetValues::nBind, IDC_CHECK_BIND, true},
                                              {&CSetValues::nAuth, IDC_CHECK_AUTH, true}};

// A list index beyond the named entries is the empty entry: nothing chosen.
int32_t ListChoice(CModuleSetupEngine &engine, int nId, int nLastNamed)
{
    const int nIndex = engine.GetCurSel(nId);
    return nIndex >= 0 && nIndex <= nLastNamed ? nIndex : -1;
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
    for (const CTextControl &control : kTextControls) {
        if (values.*control.pValue)
            engine.SetWindowText(control.nId, *(values.*control.pValue));
    }
    if (values.strBaud && BaudIndex(*values.strBaud) >= 0)
        engine.SetCurSel(IDC_COMBO_BAUD, BaudIndex(*values.strBaud));
    for (const CChoiceControl &control : kChoiceControls) {
        if (!(values.*control.pValue))
            continue;
        if (control.bCheckBox)
            engine.SetCheck(control.nId, *(values.*control.pValue));
        else
            engine.SetCurSel(control.nId, *(values.*control.pValue));
    }
    for (size_t i = 0; i < 4; ++i) {
        if (values.scan)
            engine.SetWindowText(kScanIds[i], (*values.scan)[i]);
        if (values.sniff)
            engine.SetWindowText(kSniffIds[i], (*values.sniff)[i]);
    }
}

bool ReadFormValues(CModuleSetupEngine &engine, ModuleParams &params, std::string &strLocalAddr)
{
    if (!engine.UpdateData(true))
        return false;
    params = {};
    params.Name = engine.m_strName;
    params.Version = engine.GetWindowText(IDC_EDIT_VERSION);
    params.Class = engine.m_strClass;
    params.Baud = engine.GetWindowText(IDC_COMBO_BAUD);
    params.Parity = ListChoice(engine, IDC_COMBO_PARITY, 2);
    params.StopBits = ListChoice(engine, IDC_COMBO_STOPBITS, 1);
    params.Role = engine.GetCheck(IDC_CHECK_ROLE);
    params.Bind = engine.GetCheck(IDC_CHECK_BIND);
    params.Auth = engine.GetCheck(IDC_CHECK_AUTH);
    params.Password = engine.m_strPassword;
    params.ConnInterval = std::to_string(engine.m_nConnInterval);
    params.ConnDuration = std::to_string(engine.m_nConnDuration);
    params.InqInterval = std::to_string(engine.m_nInqInterval);
    params.InqDuration = std::to_string(engine.m_nInqDuration);
    params.SniffMax = std::to_string(engine.m_nSniffMax);
    params.SniffMin = std::to_string(engine.m_nSniffMin);
    params.SniffAttempt = std::to_string(engine.m_nSniffAttempt);
    params.SniffTimeout = std::to_string(engine.m_nSniffTimeout);
    params.BindAddr = AddressAsSetTakesIt(engine.m_strBindAddr);
    strLocalAddr = engine.m_strLocalAddr;
    return true;
}
