// Restore-defaults and clear-binding: single-command actions that the sequencer ends.
#include "engine/ModuleSetupEngine.h"
#include "engine/ParamTable.h"
#include "engine/UiText.h"
#include "protocol/AtProtocol.h"

void CModuleSetupEngine::OnButtonDefault()
{
    // Refused before the form changes: the defaults go in only together with their command.
    if (RefuseWhileRunWaits(ERunKind::Restore))
        return;
    // The factory values: the check boxes first, then the edits, then the lists.
    for (const CParamRow &row : ParamTable) {
        if (row.pszDefault && row.bCheckBox)
            SetCheckState(row.nId, row.pszDefault[0] == '1');
    }
    m_view.SetReadOnly(IDC_EDIT_PASSWORD, false);
    for (const CParamRow &row : ParamTable) {
        if (row.pszDefault && row.eKind == EParamKind::Text)
            m_view.SetWindowText(row.nId, row.pszDefault);
        for (const CParamMember &member : row.members)
            m_view.SetWindowText(member.nId, member.pszDefault);
    }
    for (const CParamRow &row : ParamTable) {
        if (!row.pszDefault || row.bCheckBox || row.eKind == EParamKind::Text)
            continue;
        // The parity list shows its entries in the user's language.
        SelectStringPrefix(row.nId, row.nId == IDC_COMBO_PARITY ? ParityListEntry(0).c_str()
                                                                 : row.pszDefault);
    }
    // The found devices stay listed; only the chosen address went.
    m_view.EnableWindow(IDC_COMBO_BINDADDR, true);

    // No port check: on a closed port nothing goes out and the timer ends the action, after
    // which the form still holds the defaults for the Set button.
    m_view.SetStatusText(Tr("Engine", "正在恢复默认参数..."));
    m_bRestoring = 1;
    BeginWaiting(TIMER_DEFAULT, kDefaultTimeout);
    WriteCommand(CMD_RESET);
}

void CModuleSetupEngine::OnButtonClearAddr()
{
    if (RefuseToStart(ERunKind::ClearAddr))
        return;
    // Waiting and guarded before the command goes out, so an immediate reply finds the action.
    m_view.SetStatusText(Tr("Engine", "正在清除邦定的蓝牙地址..."));
    m_bClearing = 1;
    BeginWaiting(TIMER_CLEARADDR, kClearAddrTimeout);
    WriteCommand(CMD_CLEARADDR);
}
