// The command line on Windows: arguments arrive as UTF-16, the console has its own code page
// (936 on a Chinese system), and there is no pseudo-terminal for the simulated module.

#include "cli/CliPlatform.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <streambuf>
#include <windows.h>

namespace {

std::string ToUtf8(const wchar_t *pszWide)
{
    const int nBytes = WideCharToMultiByte(CP_UTF8, 0, pszWide, -1, nullptr, 0, nullptr, nullptr);
    if (nBytes <= 1)
        return {};
    std::string strUtf8(static_cast<size_t>(nBytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, pszWide, -1, strUtf8.data(), nBytes, nullptr, nullptr);
    strUtf8.resize(static_cast<size_t>(nBytes - 1));
    return strUtf8;
}

// Bytes of a UTF-8 character that starts with this byte (1 for anything unexpected).
size_t Utf8Length(unsigned char chLead)
{
    return chLead >= 0xF0 ? 4 : chLead >= 0xE0 ? 3 : chLead >= 0xC0 ? 2 : 1;
}

// Passes UTF-8 on to another stream buffer in a code page, whole characters at a time.
class CCodePageBuf : public std::streambuf
{
public:
    CCodePageBuf(std::streambuf *pTarget, UINT nCodePage)
        : m_pTarget(pTarget), m_nCodePage(nCodePage)
    {}

    std::streambuf *Target() const { return m_pTarget; }

protected:
    int_type overflow(int_type ch) override
    {
        if (traits_type::eq_int_type(ch, traits_type::eof()))
            return traits_type::not_eof(ch);
        m_strPending += traits_type::to_char_type(ch);
        if (ch == '\n')
            PassOn();
        return ch;
    }

    std::streamsize xsputn(const char *pData, std::streamsize nCount) override
    {
        m_strPending.append(pData, static_cast<size_t>(nCount));
        if (std::memchr(pData, '\n', static_cast<size_t>(nCount)) != nullptr)
            PassOn();
        return nCount;
    }

    int sync() override
    {
        PassOn();
        return m_pTarget->pubsync();
    }

private:
    // Converts everything up to the last whole character; a split one waits for its rest.
    void PassOn()
    {
        size_t nWhole = 0;
        while (nWhole < m_strPending.size()) {
            const size_t nChar = Utf8Length(static_cast<unsigned char>(m_strPending[nWhole]));
            if (nWhole + nChar > m_strPending.size())
                break;
            nWhole += nChar;
        }
        const std::string strText = Convert(m_strPending.substr(0, nWhole));
        m_pTarget->sputn(strText.data(), static_cast<std::streamsize>(strText.size()));
        m_strPending.erase(0, nWhole);
    }

    std::string Convert(const std::string &strUtf8) const
    {
        if (strUtf8.empty() || m_nCodePage == CP_UTF8)
            return strUtf8;
        const int nIn = static_cast<int>(strUtf8.size());
        const int nWide = MultiByteToWideChar(CP_UTF8, 0, strUtf8.data(), nIn, nullptr, 0);
        std::wstring strWide(static_cast<size_t>(nWide > 0 ? nWide : 0), L'\0');
        MultiByteToWideChar(CP_UTF8, 0, strUtf8.data(), nIn, strWide.data(), nWide);
        const int nOut = WideCharToMultiByte(m_nCodePage, 0, strWide.data(), nWide, nullptr, 0,
                                             nullptr, nullptr);
        std::string strOut(static_cast<size_t>(nOut > 0 ? nOut : 0), '\0');
        WideCharToMultiByte(m_nCodePage, 0, strWide.data(), nWide, strOut.data(), nOut, nullptr,
                            nullptr);
        return strOut;
    }

    std::streambuf *m_pTarget;
    UINT m_nCodePage;
    std::string m_strPending;
};

std::atomic<void (*)()> g_pfnInterrupt{nullptr};

// Runs on a thread the system starts for the event; TRUE keeps the process alive.
BOOL WINAPI OnConsoleControl(DWORD dwCtrlType)
{
    if (dwCtrlType != CTRL_C_EVENT && dwCtrlType != CTRL_BREAK_EVENT &&
        dwCtrlType != CTRL_CLOSE_EVENT)
        return FALSE;
    if (void (*pfnHandler)() = g_pfnInterrupt.load())
        pfnHandler();
    return TRUE;
}

// Windows 10 and later draw the progress line's "\r\033[K" only when asked to.
void EnableTerminalSequences(DWORD dwStdHandle)
{
    const HANDLE hConsole = GetStdHandle(dwStdHandle);
    DWORD dwMode = 0;
    if (hConsole != INVALID_HANDLE_VALUE && GetConsoleMode(hConsole, &dwMode))
        SetConsoleMode(hConsole, dwMode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
}

} // namespace

std::vector<std::string> CommandLineArguments(int argc, char **argv)
{
    int nArgs = 0;
    LPWSTR *ppszArgs = CommandLineToArgvW(GetCommandLineW(), &nArgs);
    if (ppszArgs == nullptr)
        return std::vector<std::string>(argv + 1, argv + argc);
    std::vector<std::string> args;
    for (int i = 1; i < nArgs; ++i)
        args.push_back(ToUtf8(ppszArgs[i]));
    LocalFree(ppszArgs);
    return args;
}

void PrepareConsole()
{
    // Without a console (output to a file under a service) the system's ANSI code page is the
    // one a reader of that file would assume.
    UINT nCodePage = GetConsoleOutputCP();
    if (nCodePage == 0)
        nCodePage = GetACP();
    // Never freed: the streams flush through them until the very end of the process.
    std::cout.rdbuf(new CCodePageBuf(std::cout.rdbuf(), nCodePage));
    std::cerr.rdbuf(new CCodePageBuf(std::cerr.rdbuf(), nCodePage));
    EnableTerminalSequences(STD_ERROR_HANDLE);
    EnableTerminalSequences(STD_OUTPUT_HANDLE); // the production line's coloured results
}

void WriteUtf8(std::ostream &out, const std::string &strText)
{
    out.flush();
    auto *pConverting = dynamic_cast<CCodePageBuf *>(out.rdbuf());
    std::streambuf *pTarget = pConverting != nullptr ? pConverting->Target() : out.rdbuf();
    pTarget->sputn(strText.data(), static_cast<std::streamsize>(strText.size()));
    pTarget->pubsync();
}

void SetInterruptHandler(void (*pfnHandler)())
{
    g_pfnInterrupt.store(pfnHandler);
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

std::shared_ptr<void> StartSimulatedModule(std::string &, std::string &strError)
{
    strError = "--simulate needs a Linux host: the simulated module runs on a pseudo-terminal. "
               "Run kestrel-sim on Linux, or connect a module and give its --port COMn";
    return nullptr;
}

EUiLanguage SystemUiLanguage()
{
    // A locale variable someone set on purpose (a script, Wine's environment) still decides.
    for (const char *pName : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) {
        if (const char *pValue = std::getenv(pName); pValue && *pValue)
            return ChooseUiLanguageFromEnvironment({});
    }
    return PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_CHINESE ? EUiLanguage::Chinese
                                                                     : EUiLanguage::English;
}
