// The check every way in shares; the conversion itself is the platform's.

#include "protocol/GbkText.h"

#include <cstdio>

namespace {

// Length of the UTF-8 sequence a lead byte starts; 0 for a byte that cannot start one.
size_t SequenceLength(unsigned char chLead)
{
    if (chLead < 0x80)
        return 1;
    if ((chLead & 0xE0) == 0xC0)
        return 2;
    if ((chLead & 0xF0) == 0xE0)
        return 3;
    if ((chLead & 0xF8) == 0xF0)
        return 4;
    return 0;
}

// "U+1F600" for one well-formed UTF-8 sequence.
std::string CodePointName(std::string_view strSequence)
{
    static constexpr unsigned char kLeadMask[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
    unsigned long nCodePoint =
        static_cast<unsigned char>(strSequence[0]) & kLeadMask[strSequence.size()];
    for (size_t i = 1; i < strSequence.size(); ++i)
        nCodePoint = (nCodePoint << 6) | (static_cast<unsigned char>(strSequence[i]) & 0x3F);
    char achName[16];
    std::snprintf(achName, sizeof(achName), "U+%04lX", nCodePoint);
    return achName;
}

// A whole sequence: its lead byte's length, every byte after the lead a continuation byte.
bool IsWellFormed(std::string_view strSequence)
{
    for (size_t i = 1; i < strSequence.size(); ++i) {
        if ((static_cast<unsigned char>(strSequence[i]) & 0xC0) != 0x80)
            return false;
    }
    return true;
}

// Why the text does not convert: broken UTF-8, or the first character that has no GBK form.
std::string DescribeRefusal(std::string_view strUtf8)
{
    for (size_t i = 0; i < strUtf8.size();) {
        const size_t nLength = SequenceLength(static_cast<unsigned char>(strUtf8[i]));
        if (nLength == 0 || nLength > strUtf8.size() - i)
            return "is not valid UTF-8 text";
        const std::string_view strChar = strUtf8.substr(i, nLength);
        if (!IsWellFormed(strChar))
            return "is not valid UTF-8 text";
        if (!Utf8ToGbk(strChar))
            return "holds " + CodePointName(strChar) +
                   ", a character GBK cannot carry (the module stores GBK text only)";
        i += nLength;
    }
    return "cannot be converted to GBK";
}

} // namespace

GbkFieldText CheckGbkFieldText(std::string_view strField, std::string_view strUtf8)
{
    GbkFieldText result;
    if (std::optional<std::string> gbk = Utf8ToGbk(strUtf8)) {
        result.strGbk = std::move(*gbk);
        return result;
    }
    result.strError = std::string(strField) + ": " + DescribeRefusal(strUtf8);
    return result;
}
