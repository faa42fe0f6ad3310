// Restore-defaults and clear-binding: single-command actions that the sequencer ends.
#include "dialog/ModuleSetupEngine.h"
#include "dialog/UiText.h"
#include "protocol/AtProtocol.h"

namespace {

// The factory defaults of the edits, in the order the form receives them.
struct CDefaultText
{
    int nId;
    const char *pText;
};

constexpr CDefaultText kDefaultTexts[] = {
    {IDC_EDIT_PASSWORD, "7391"},     {IDC_EDIT_NAME, "CORVA3264"},
    {IDC_EDIT_CLASS, "000000"},      {IDC_EDIT_CONN_INTERVAL, "1024"},
    {IDC_EDIT_CONN_DURATION, "512"}, {IDC_EDIT_INQ_INTERVAL, "1024"},
    {IDC_EDIT_INQ_DURATION, "512"},  {IDC_EDIT_SNIFF_MAX, "0"},
    {IDC_EDIT_SNIFF_MIN, "0"},       {IDC_EDIT_SNIFF_ATTEMPT, "0"},
    {IDC_EDIT_SNIFF_TIMEOUT, "0"},
};

} // namespace

void CModuleSetupEngine::OnButtonDefault()
{
    // Refused before the form changes: the defaults go in only together with their command.
    if (RefuseWhileRunWaits(ERunKind::Restore))
        return;
    // Slave, no binding, authentication on with the factory password.
    SetCheck(IDC_CHECK_ROLE, 0);
    SetCheck(IDC_CHECK_BIND, 0);
    SetCheck(IDC_CHECK_AUTH, 1);
    SetReadOnly(IDC_EDIT_PASSWORD, false);
    for (const CDefaultText &row : kDefaultTexts)
        SetWindowText(row.nId, row.pText);
    SelectStringPrefix(IDC_COMBO_BAUD, "9600");
    SelectStringPrefix(IDC_COMBO_PARITY, ParityListEntry(0));
    SelectStringPrefix(IDC_COMBO_STOPBITS, "1");
    // The found devices stay listed; only the chosen address goes.
    SetWindowText(IDC_COMBO_BINDADDR, "");
    EnableWindow(IDC_COMBO_BINDADDR, true);

    // No port check: on a closed port nothing goes out and the timer ends the action, after
    // which the form still holds the defaults for the Set button.
    SetStatusText(Tr("Engine", "正在恢复默认参数..."));
    m_bRestoring = 1;
    BeginWaiting(TIMER_DEFAULT, kDefaultTimeout);
    WriteCommand(CMD_RESET);
}

void CModuleSetupEngine::OnButtonClearAddr()
{
    if (RefuseWhileRunWaits(ERunKind::ClearAddr))
        return;
    if (!IsPortOpen()) {
        ReportRunEnd({ERunKind::ClearAddr, ERunEnd::NoPort});
        return;
    }
    // Waiting and guarded before the command goes out, so an immediate reply finds the action.
    SetStatusText(Tr("Engine", "正在清除邦定的蓝牙地址..."));
    m_bClearing = 1;
    BeginWaiting(TIMER_CLEARADDR, kClearAddrTimeout);
    WriteCommand(CMD_CLEARADDR);
}
