// GBK through the C library's iconv: glibc carries the code page, so the core needs no Qt.

#include "protocol/GbkText.h"

#include <cerrno>
#include <iconv.h>

namespace {

constexpr char kReplacementUtf8[] = "\xEF\xBF\xBD";

// One conversion descriptor per call: the core converts short form texts, and a shared one would
// need a lock across the command line's port threads.
class CIconv
{
public:
    CIconv(const char *pszTo, const char *pszFrom) : m_cd(iconv_open(pszTo, pszFrom)) {}
    ~CIconv()
    {
        if (IsValid())
            iconv_close(m_cd);
    }
    CIconv(const CIconv &) = delete;
    CIconv &operator=(const CIconv &) = delete;

    bool IsValid() const { return m_cd != reinterpret_cast<iconv_t>(-1); }
    void Reset() { iconv(m_cd, nullptr, nullptr, nullptr, nullptr); }

    // Converts as much as it can; false at the first sequence it cannot take (pIn then points
    // at it). Output goes to strOut.
    bool Convert(const char *&pIn, size_t &nInLeft, std::string &strOut)
    {
        char buffer[256];
        while (nInLeft > 0) {
            char *pOut = buffer;
            size_t nOutLeft = sizeof(buffer);
            char *pInMutable = const_cast<char *>(pIn);
            const size_t nResult = iconv(m_cd, &pInMutable, &nInLeft, &pOut, &nOutLeft);
            pIn = pInMutable;
            strOut.append(buffer, sizeof(buffer) - nOutLeft);
            if (nResult == static_cast<size_t>(-1) && errno != E2BIG)
                return false;
        }
        return true;
    }

private:
    iconv_t m_cd;
};

} // namespace

std::optional<std::string> Utf8ToGbk(std::string_view strUtf8)
{
    CIconv converter("GBK", "UTF-8");
    if (!converter.IsValid())
        return std::nullopt;
    std::string strGbk;
    const char *pIn = strUtf8.data();
    size_t nInLeft = strUtf8.size();
    if (!converter.Convert(pIn, nInLeft, strGbk))
        return std::nullopt;
    return strGbk;
}

std::string GbkToUtf8(std::string_view strGbk)
{
    CIconv converter("UTF-8", "GBK");
    std::string strUtf8;
    if (!converter.IsValid())
        return strUtf8;
    const char *pIn = strGbk.data();
    size_t nInLeft = strGbk.size();
    // A byte the code page does not know is shown as one replacement character, then go on.
    while (!converter.Convert(pIn, nInLeft, strUtf8)) {
        strUtf8 += kReplacementUtf8;
        ++pIn;
        --nInLeft;
        converter.Reset();
    }
    return strUtf8;
}
