// The configuration-file reader on any bytes: either values, or no values and one error that
// names the key it refuses or the position in the text. Never a crash, never a hang, and the
// memory stays bounded by the file's size.
#include "engine/ConfigFile.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

bool StartsWith(const std::string &strText, const char *pszPrefix)
{
    return strText.rfind(pszPrefix, 0) == 0;
}

bool NamesKeyOrPosition(const std::string &strError)
{
    if (strError.find("line ") != std::string::npos &&
        strError.find(", column ") != std::string::npos)
        return true;
    // The key: a parameter ("params.name: ..."), a field of the report, or one it does not know.
    for (const char *pszKey : {"params", "ports: ", "ok: "}) {
        if (StartsWith(strError, pszKey))
            return true;
    }
    const std::string strUnknown = ": unknown key";
    if (strError.size() >= strUnknown.size() &&
        strError.compare(strError.size() - strUnknown.size(), strUnknown.size(), strUnknown) == 0)
        return true;
    // The document as a whole is not an object: there is no key to name.
    return strError == "a JSON object expected";
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pData, size_t nSize)
{
    const std::string strText(reinterpret_cast<const char *>(pData), nSize);
    const CConfigReadResult result = ParseConfigText(strText);
    if (result.bOk != result.strError.empty())
        std::abort();
    if (!result.bOk && (result.values.Any() || !NamesKeyOrPosition(result.strError)))
        std::abort();
    for (const CParamRow &row : ParamTable) {
        if (result.values.Has(row) && !row.IsSettable())
            std::abort();
    }
    return 0;
}
