// Device search: results go into the bind-address combo as they arrive; no flag, no timer.
#include "engine/ModuleSetupEngine.h"
#include "engine/UiText.h"
#include "protocol/AtProtocol.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace {

constexpr size_t kInqAddressOffset = 11; // after "\r\n+INQRESU:"
constexpr size_t kInqTextOffset = 24;    // after the address and its separator
constexpr size_t kInqMinLength = 26;     // up to the text, plus the closing CR LF

// Orders entries as a sorted combo box does: ASCII letters fold, GBK bytes compare as they are.
int CompareNoCase(const std::string &strA, const std::string &strB)
{
    const size_t nCommon = std::min(strA.size(), strB.size());
    for (size_t i = 0; i < nCommon; ++i) {
        auto a = static_cast<unsigned char>(strA[i]);
        auto b = static_cast<unsigned char>(strB[i]);
        if (a < 0x80)
            a = static_cast<unsigned char>(std::tolower(a));
        if (b < 0x80)
            b = static_cast<unsigned char>(std::tolower(b));
        if (a != b)
            return a < b ? -1 : 1;
    }
    if (strA.size() == strB.size())
        return 0;
    return strA.size() < strB.size() ? -1 : 1;
}

// The status line is UTF-8; an address is hex digits, anything else shows as '?'.
std::string PrintableAscii(const std::string &strText)
{
    std::string strOut = strText;
    for (char &c : strOut) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u >= 0x7F)
            c = '?';
    }
    return strOut;
}

} // namespace

void CModuleSetupEngine::OnButtonSearch()
{
    // The results come at the module's pace, but "AT+INQ" itself must not meet a command in
    // flight. The search is not a run: it holds no gate of its own.
    if (RefuseWhileRunWaits(ERunKind::Search))
        return;
    // Emptied and announced before the command goes out, so that an immediate result is
    // neither removed nor overwritten.
    m_view.ResetContent(IDC_COMBO_BINDADDR);
    m_view.EnableWindow(IDC_COMBO_BINDADDR, true);
    m_view.SetStatusText(Tr("Engine", "正在查询设备......"));
    // Its "OK" answers it, but nothing waits for it: the results come at the module's pace.
    WriteCommand(CMD_INQ, EWrite::Unawaited);
}

void CModuleSetupEngine::OnInquiryResult(const char *pLine, uint16_t nLength)
{
    if (pLine == nullptr || nLength < kInqMinLength)
        return;
    // A zero byte inside the address ends it early.
    const char *pAddress = pLine + kInqAddressOffset;
    const std::string strAddress(pAddress, strnlen(pAddress, BLUETOOTH_ADDRESS_LENGTH));
    const std::string strText = MakeTextFromSpan(pLine + kInqTextOffset, nLength - kInqMinLength);
    const std::string strEntry = strAddress + " " + strText;

    m_view.SetWindowText(IDC_COMBO_BINDADDR, strEntry);
    // Sorted place as the combo keeps it: after every entry that does not sort above it, so a
    // device reported twice is listed twice.
    const int nCount = m_view.GetCount(IDC_COMBO_BINDADDR);
    int nIndex = 0;
    while (nIndex < nCount && CompareNoCase(m_view.GetLBText(IDC_COMBO_BINDADDR, nIndex), strEntry) <= 0)
        ++nIndex;
    m_view.InsertString(IDC_COMBO_BINDADDR, nIndex, strEntry);
    m_view.SetStatusText(Tr("Engine", "查询到设备 ") + PrintableAscii(strAddress));
    m_view.OnDeviceFound(strEntry);
}

void CModuleSetupEngine::OnInquiryComplete()
{
    ReportRunEnd({ERunKind::Search, ERunEnd::Done});
}
