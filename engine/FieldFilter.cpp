#include "engine/FieldFilter.h"

#include "engine/ControlIds.h"
#include "engine/ParamTable.h"
#include "protocol/GbkText.h"

#include <algorithm>
#include <optional>

namespace {

// The fields whose edits take digits only: the class code and the two groups' numbers.
bool IsDigitsOnly(int nId)
{
    if (nId == IDC_EDIT_CLASS)
        return true;
    for (const CParamRow &row : ParamTable) {
        for (const CParamMember &member : row.members) {
            if (member.nId == nId)
                return true;
        }
    }
    return false;
}

// The length of the UTF-8 character that starts at i (1 for a byte that starts none).
size_t CharacterLength(const std::string &strText, size_t i)
{
    const auto c = static_cast<unsigned char>(strText[i]);
    const size_t nLength = c < 0x80           ? 1
                           : (c >> 5) == 0x6  ? 2
                           : (c >> 4) == 0xE  ? 3
                           : (c >> 3) == 0x1E ? 4
                                              : 1;
    return std::min(nLength, strText.size() - i);
}

} // namespace

CFieldFilterResult FilterFieldText(int nId, const std::string &strUtf8)
{
    const size_t nMaxBytes = FieldByteLimit(nId);
    const bool bDigitsOnly = IsDigitsOnly(nId);
    CFieldFilterResult result;
    size_t nGbkBytes = 0;
    for (size_t i = 0; i < strUtf8.size();) {
        const std::string strCharacter = strUtf8.substr(i, CharacterLength(strUtf8, i));
        i += strCharacter.size();
        const std::optional<std::string> gbk = Utf8ToGbk(strCharacter);
        const bool bDigit =
            strCharacter.size() == 1 && strCharacter[0] >= '0' && strCharacter[0] <= '9';
        if (!gbk || (bDigitsOnly && !bDigit)) {
            result.bChanged = true;
            continue;
        }
        // The text ends where its GBK bytes would pass the limit.
        if (nMaxBytes != 0 && nGbkBytes + gbk->size() > nMaxBytes) {
            result.bChanged = true;
            break;
        }
        result.strKept += strCharacter;
        nGbkBytes += gbk->size();
    }
    return result;
}

bool FieldAccepts(int nId, const std::string &strUtf8)
{
    return !FilterFieldText(nId, strUtf8).bChanged;
}
