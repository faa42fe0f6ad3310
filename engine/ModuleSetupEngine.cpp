#include "engine/ModuleSetupEngine.h"

#include "engine/UiText.h"
#include "protocol/AtProtocol.h"
#include "protocol/GbkText.h"
#include "serial/LinkTrace.h"
#include "serial/SerialLink.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <iterator>

namespace {

// Entries of the parity and stop-bit lists; the form maps them by index, never by text, so the
// parity entries follow the user's language.
constexpr const char *kParityEntries[] = {KESTREL_TR_NOOP("Engine", "无校验"),
                                          KESTREL_TR_NOOP("Engine", "奇校验"),
                                          KESTREL_TR_NOOP("Engine", "偶校验"), ""};
constexpr const char *kStopBitEntries[] = {"1", "2", ""};

bool StartsWithNoCase(const std::string &strText, const std::string &strPrefix)
{
    if (strText.size() < strPrefix.size())
        return false;
    for (size_t i = 0; i < strPrefix.size(); ++i) {
        // Only ASCII letters fold; GBK bytes compare as they are.
        const auto a = static_cast<unsigned char>(strText[i]);
        const auto b = static_cast<unsigned char>(strPrefix[i]);
        if (a != b && (a >= 0x80 || b >= 0x80 || std::tolower(a) != std::tolower(b)))
            return false;
    }
    return true;
}

} // namespace

const ButtonHandler ButtonHandlerTable[7] = {
    {IDC_BUTTON_QUERY, &CModuleSetupEngine::OnButtonQuery},
    {IDC_BUTTON_SET, &CModuleSetupEngine::OnButtonSet},
    {IDC_BUTTON_DEFAULT, &CModuleSetupEngine::OnButtonDefault},
    {IDC_BUTTON_CLEARADDR, &CModuleSetupEngine::OnButtonClearAddr},
    {IDC_BUTTON_SEARCH, &CModuleSetupEngine::OnButtonSearch},
    {IDC_CHECK_AUTH, &CModuleSetupEngine::OnCheckAuth},
    {IDC_CHECK_BIND, &CModuleSetupEngine::OnCheckBind},
};

CModuleSetupEngine::CModuleSetupEngine() = default;

CModuleSetupEngine::~CModuleSetupEngine() = default;

bool CModuleSetupEngine::OpenSessionLink(const std::string &strPortPath, const CLineSettings &line,
                                         ReceiveCallback pfnReceive,
                                         DisconnectCallback pfnDisconnect, void *pUser)
{
    m_pSessionLink = std::make_unique<CSerialLink>();
    m_pSerial = m_pSessionLink.get();
    m_sessionTrace.Tap(*m_pSessionLink, pfnReceive, pUser);
    m_pTrace = &m_sessionTrace;
    m_pSessionLink->SetDisconnectCallback(pfnDisconnect, pUser);
    m_bAutoLineRate = line.nRate == kAutoLineRate;
    m_nFoundLineRate = 0;
    m_pSessionLink->ApplyLineSettings(line);
    m_strSessionPort = strPortPath;
    m_sessionOpenFailure = OpenFailure::None;
    m_nSessionOpenError = 0;
    m_sessionOpenHolders.clear();
    m_strSessionGroupAwaitingLogin.clear();
    if (m_pSessionLink->Open(strPortPath))
        return true;
    m_sessionOpenFailure = m_pSessionLink->LastOpenFailure();
    m_nSessionOpenError = m_pSessionLink->LastOpenError();
    m_sessionOpenHolders = m_pSessionLink->LastOpenHolders();
    m_strSessionGroupAwaitingLogin = m_pSessionLink->LastOpenGroupAwaitingLogin();
    m_pSessionLink->Close();
    return false;
}

bool CModuleSetupEngine::ReopenSessionLink()
{
    if (!m_pSessionLink)
        return false;
    if (m_pSessionLink->IsOpen())
        return true;
    DiscardReceivedBytes();
    if (m_pSessionLink->Open(m_strSessionPort))
        return true;
    m_pSessionLink->Close();
    return false;
}

void CModuleSetupEngine::CloseSessionLink()
{
    if (m_pSessionLink && m_pSessionLink->IsOpen())
        m_pSessionLink->Close();
}

void CModuleSetupEngine::FillLists()
{
    ResetContent(IDC_COMBO_BAUD);
    for (int i = 0; i < BAUD_RATE_COUNT; ++i)
        InsertString(IDC_COMBO_BAUD, i, BaudRateList[i]);
    InsertString(IDC_COMBO_BAUD, BAUD_RATE_COUNT, "");

    ResetContent(IDC_COMBO_PARITY);
    for (int i = 0; i < static_cast<int>(std::size(kParityEntries)); ++i)
        InsertString(IDC_COMBO_PARITY, i, ParityListEntry(i));

    ResetContent(IDC_COMBO_STOPBITS);
    for (int i = 0; const char *pEntry : kStopBitEntries)
        InsertString(IDC_COMBO_STOPBITS, i++, pEntry);
}

std::string CModuleSetupEngine::ParityListEntry(int nIndex)
{
    if (nIndex < 0 || nIndex >= static_cast<int>(std::size(kParityEntries)))
        return {};
    // Control texts are GBK; every translation is ASCII, so it always converts.
    return Utf8ToGbk(Tr("Engine", kParityEntries[nIndex])).value_or(std::string());
}

bool CModuleSetupEngine::IsPortOpen() const
{
    return m_pSerial != nullptr && m_pSerial->IsOpen();
}

void CModuleSetupEngine::WriteCommand(const char *pCommand)
{
    if (m_pSerial == nullptr || pCommand == nullptr)
        return;
    const size_t nLength = std::strlen(pCommand);
    if (m_pTrace)
        m_pTrace->RecordWrite(pCommand, nLength);
    const uint32_t nWritten = m_pSerial->Write(pCommand, static_cast<uint32_t>(nLength));
    if (m_pTrace && nWritten < nLength)
        m_pTrace->RecordShortWrite(nWritten, nLength);
}

std::string CModuleSetupEngine::FormatInt(int32_t nValue)
{
    char szText[16] = {};
    std::snprintf(szText, sizeof(szText), "%d", static_cast<int>(nValue));
    return szText;
}

std::string CModuleSetupEngine::FormatUInt(uint32_t nValue)
{
    char szText[16] = {};
    std::snprintf(szText, sizeof(szText), "%u", static_cast<unsigned>(nValue));
    return szText;
}

std::string CModuleSetupEngine::FormatWithText(const char *pFormat, const std::string &strArg)
{
    std::string strText = pFormat;
    const size_t nAt = strText.find("%s");
    if (nAt != std::string::npos)
        strText.replace(nAt, 2, strArg);
    return strText;
}

int CModuleSetupEngine::FindStringPrefix(int nId, const std::string &strPrefix)
{
    const int nCount = GetCount(nId);
    // The search starts after entry 0 and wraps round to it last.
    for (int k = 1; k <= nCount; ++k) {
        const int nIndex = k % nCount;
        if (StartsWithNoCase(GetLBText(nId, nIndex), strPrefix))
            return nIndex;
    }
    return -1;
}

int CModuleSetupEngine::SelectStringPrefix(int nId, const std::string &strPrefix)
{
    const int nIndex = FindStringPrefix(nId, strPrefix);
    if (nIndex >= 0)
        SetCurSel(nId, nIndex);
    return nIndex;
}

void CModuleSetupEngine::MoveSliderToMax(int nId)
{
    SetSliderPos(nId, GetSliderRangeMax(nId));
}
