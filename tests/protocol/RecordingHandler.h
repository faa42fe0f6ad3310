#pragma once

#include "protocol/PendingBytes.h"
#include "protocol/ResponseScanner.h"

#include <cstdio>
#include <string>
#include <vector>

// Logs every call the scanner makes as one readable string, so a test compares whole call lists.
class CRecordingHandler : public IResponseHandler
{
public:
    std::vector<std::string> m_vecCalls;

    void OnResponseOk() override { m_vecCalls.push_back("Ok"); }
    void OnResponseError() override { m_vecCalls.push_back("Error"); }
    // Which fields an ignored kind wrote is not known here, so none are logged.
    void OnResponseIgnored(const ResponseFields &) override { m_vecCalls.push_back("Ignored"); }
    void OnResponseAuth(const ResponseFields &f) override { Number("Auth", f.n0); }
    void OnResponseBaud(const ResponseFields &f) override { Number("Baud", f.n0); }
    void OnResponseBind(const ResponseFields &f) override { Number("Bind", f.n0); }
    void OnResponseRole(const ResponseFields &f) override { Number("Role", f.n0); }
    void OnResponseName(const ResponseFields &f) override { Text("Name", f.span); }
    void OnResponseClass(const ResponseFields &f) override { Text("Class", f.span); }
    void OnResponseVersion(const ResponseFields &f) override { Text("Version", f.span); }
    void OnResponsePassword(const ResponseFields &f) override { Text("Password", f.span); }
    void OnResponseScan(const ResponseFields &f) override { Four("Scan", f); }
    void OnResponseSniff(const ResponseFields &f) override { Four("Sniff", f); }
    void OnOtherLine(const char *pLine, uint16_t nLength) override
    {
        m_vecCalls.push_back("Other(" + Escape(std::string(pLine, nLength)) + ")");
    }

    // CR, LF and TAB as C escapes, other bytes outside printable ASCII as \xHH.
    static std::string Escape(const std::string &str)
    {
        std::string strOut;
        for (const char c : str) {
            const auto u = static_cast<unsigned char>(c);
            if (c == '\r' || c == '\n' || c == '\t')
                strOut += c == '\r' ? "\\r" : (c == '\n' ? "\\n" : "\\t");
            else if (u < 0x20 || u >= 0x7F) {
                char szHex[8];
                std::snprintf(szHex, sizeof szHex, "\\x%02X", u);
                strOut += szHex;
            } else
                strOut += c;
        }
        return strOut;
    }

private:
    void Number(const char *pszName, uint32_t n)
    {
        m_vecCalls.push_back(std::string(pszName) + "(" + std::to_string(n) + ")");
    }
    void Text(const char *pszName, const TextSpan &span)
    {
        m_vecCalls.push_back(std::string(pszName) + "(" + std::string(span.pText, span.nLength) +
                             ")");
    }
    void Four(const char *pszName, const ResponseFields &f)
    {
        m_vecCalls.push_back(std::string(pszName) + "(" + std::to_string(f.n0) + "," +
                             std::to_string(f.n1) + "," + std::to_string(f.n2) + "," +
                             std::to_string(f.n3) + ")");
    }
};

// The calls of one block scanned whole, and how many bytes the scan consumed.
struct SScanResult
{
    std::vector<std::string> vecCalls;
    size_t nConsumed = 0;
};

inline SScanResult ScanWhole(const std::string &strBlock)
{
    CRecordingHandler handler;
    const size_t nConsumed = ScanResponses(&handler, strBlock.data(), strBlock.size());
    return {handler.m_vecCalls, nConsumed};
}
