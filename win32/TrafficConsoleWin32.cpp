// The traffic window's console row: a command typed below the log goes to the module as a run of
// its own. Its bytes, escapes and refusals are the core's (ConsoleCommand), the commands recalled
// and the line ending are kept in the profile (ConsoleHistory); the window only shows them.
#include "engine/ConsoleCommand.h"
#include "engine/ModuleSetupEngine.h"
#include "engine/UiText.h"
#include "res/resource.h"
#include "win32/ProfileWin32.h"
#include "win32/TrafficDlgWin32.h"
#include "win32/Win32Common.h"

#include <iterator>

namespace {

// The longest a command can be typed: every byte of the longest command written as an escape
// ("\xNN"). Whether it fits the slot is told, with the place, when it is sent.
constexpr int kCommandFieldChars = static_cast<int>(kConsoleCommandMaxBytes) * 4;

EConsoleEol EolAt(int nIndex)
{
    return nIndex >= 0 && nIndex < static_cast<int>(std::size(kConsoleEols)) ? kConsoleEols[nIndex]
                                                                             : kDefaultConsoleEol;
}

} // namespace

void CTrafficDlgWin32::SetUpConsole()
{
    CProfileWin32 profile;
    m_history.Load(profile);
    const HWND hField = Item(IDC_CONSOLE_COMMAND);
    Edit_LimitText(hField, kCommandFieldChars);
    SetWindowSubclass(hField, CommandFieldProc, 0, reinterpret_cast<DWORD_PTR>(this));
    const HWND hEols = Item(IDC_CONSOLE_EOL);
    for (size_t i = 0; i < std::size(kConsoleEols); ++i) {
        ComboBox_AddString(hEols, WideFromUtf8(ConsoleEolListText(kConsoleEols[i])).c_str());
        if (kConsoleEols[i] == m_history.LineEnding())
            ComboBox_SetCurSel(hEols, static_cast<int>(i));
    }
    // Made while a run may hold the line: from then on the engine tells.
    EnableSend(!m_engine.IsRunWaiting());
}

void CTrafficDlgWin32::EnableSend(bool bEnable)
{
    const HWND hSend = Item(IDC_BUTTON_CONSOLE_SEND);
    // Windows takes the focus from a control as it is disabled; the command field keeps the
    // keyboard, where the next command is typed anyway.
    if (!bEnable && hSend != nullptr && GetFocus() == hSend)
        SendMessageW(m_hWnd.load(), WM_NEXTDLGCTL,
                     reinterpret_cast<WPARAM>(Item(IDC_CONSOLE_COMMAND)), TRUE);
    ::EnableWindow(hSend, bEnable ? TRUE : FALSE);
}

// Enter or "发送": what the field holds goes out with the chosen ending, or is refused before
// anything is written. A command that went out is kept for recall and leaves the field.
void CTrafficDlgWin32::SendTyped()
{
    if (!IsWindowEnabled(Item(IDC_BUTTON_CONSOLE_SEND))) {
        MessageBeep(MB_OK); // a run holds the line: Enter does no more than the greyed button
        return;
    }
    const std::string strTypedUtf8 = Utf8FromWide(WindowTextOf(Item(IDC_CONSOLE_COMMAND)));
    const CConsoleCommand command = BuildConsoleCommand(strTypedUtf8, m_history.LineEnding());
    if (!command.Ok()) {
        ShowRefusal(command, strTypedUtf8);
        return;
    }
    CProfileWin32 profile(CProfileWin32::EWrites::Batched);
    if (m_engine.SendConsoleCommand(strTypedUtf8, command.strBytes, m_history, profile))
        ::SetWindowTextW(Item(IDC_CONSOLE_COMMAND), L"");
}

// The reason in a box, then the characters at fault selected in the field, ready to be mended.
void CTrafficDlgWin32::ShowRefusal(const CConsoleCommand &command, const std::string &strTypedUtf8)
{
    const HWND hwnd = m_hWnd.load();
    MessageBoxW(hwnd, WideFromUtf8(command.strMessage).c_str(), TrWide("Engine", "提示").c_str(),
                MB_OK | MB_ICONEXCLAMATION);
    const HWND hField = Item(IDC_CONSOLE_COMMAND);
    if (hField == nullptr)
        return; // the window went while the box was open
    SendMessageW(hwnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(hField), TRUE);
    Edit_SetSel(
        hField, static_cast<int>(Utf16Units(strTypedUtf8, command.nFaultChar)),
        static_cast<int>(Utf16Units(strTypedUtf8, command.nFaultChar + command.nFaultLength)));
}

// Up: an older command (what was typed is kept for the way back); Down: a newer one, and past
// the newest what was typed. The caret goes to the end, as in a shell.
void CTrafficDlgWin32::Recall(bool bOlder)
{
    const HWND hField = Item(IDC_CONSOLE_COMMAND);
    const std::optional<std::string> recalled =
        bOlder ? m_history.Up(Utf8FromWide(WindowTextOf(hField))) : m_history.Down();
    if (!recalled)
        return;
    const std::wstring strText = WideFromUtf8(*recalled);
    ::SetWindowTextW(hField, strText.c_str());
    Edit_SetSel(hField, static_cast<int>(strText.size()), static_cast<int>(strText.size()));
}

void CTrafficDlgWin32::OnLineEndingChosen()
{
    m_history.SetLineEnding(EolAt(ComboBox_GetCurSel(Item(IDC_CONSOLE_EOL))));
    SaveHistory();
}

// Every entry moves up a key as a command is added: one rewrite of the file for them all.
void CTrafficDlgWin32::SaveHistory()
{
    CProfileWin32 profile(CProfileWin32::EWrites::Batched);
    m_history.Save(profile);
}

LRESULT CALLBACK CTrafficDlgWin32::CommandFieldProc(HWND hwnd, UINT message, WPARAM wParam,
                                                    LPARAM lParam, UINT_PTR nSubclassId,
                                                    DWORD_PTR nRefData)
{
    auto *pThis = reinterpret_cast<CTrafficDlgWin32 *>(nRefData);
    switch (message) {
    case WM_GETDLGCODE: {
        // Enter belongs to the field, not to the dialog's default button.
        const auto *pMsg = reinterpret_cast<const MSG *>(lParam);
        LRESULT nCode = DefSubclassProc(hwnd, message, wParam, lParam);
        if (pMsg != nullptr && pMsg->message == WM_KEYDOWN && pMsg->wParam == VK_RETURN)
            nCode |= DLGC_WANTALLKEYS;
        return nCode;
    }
    case WM_KEYDOWN:
        if (wParam == VK_RETURN) {
            pThis->SendTyped();
            return 0;
        }
        if (wParam == VK_UP || wParam == VK_DOWN) {
            pThis->Recall(wParam == VK_UP);
            return 0;
        }
        break;
    case WM_CHAR:
        if (wParam == L'\r' || wParam == L'\n')
            return 0; // the character of the Enter that sent: no beep
        break;
    case WM_NCDESTROY:
        RemoveWindowSubclass(hwnd, CommandFieldProc, nSubclassId);
        break;
    default:
        break;
    }
    return DefSubclassProc(hwnd, message, wParam, lParam);
}
