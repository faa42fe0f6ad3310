#include "cli/UnitTemplate.h"

#include "cli/UnitsCsv.h"
#include "protocol/GbkText.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace {

using EField = CUnitTemplate::EField;
using CPiece = CUnitTemplate::CPiece;

constexpr size_t kAddressDigits = 12;
constexpr size_t kMaxCounterWidth = 20; // the digits of the largest counter value
constexpr const char *kFieldList =
    "fields: {addr}, {addr:-N}, {n}, {n:0W}, {csv:COLUMN}; {{ and }} for braces";

// The character (from 1) that a byte offset of UTF-8 text falls on.
size_t CharacterAt(std::string_view strText, size_t nByte)
{
    const std::string_view before = strText.substr(0, nByte);
    return 1 + static_cast<size_t>(std::count_if(before.begin(), before.end(), [](char ch) {
               return (static_cast<unsigned char>(ch) & 0xC0) != 0x80;
           }));
}

// The bytes of the UTF-8 character a byte leads; 1 for a byte that leads none.
size_t Utf8SequenceLength(char chLead)
{
    const auto nLead = static_cast<unsigned char>(chLead);
    if (nLead >= 0xF0 && nLead <= 0xF7)
        return 4;
    if (nLead >= 0xE0)
        return nLead <= 0xEF ? 3 : 1;
    return nLead >= 0xC0 ? 2 : 1;
}

// A small decimal number from one or two digits; nothing for anything else.
std::optional<size_t> SmallNumber(std::string_view strDigits)
{
    size_t nValue = 0;
    if (strDigits.empty() || strDigits.size() > 2)
        return std::nullopt;
    const auto [pEnd, error] =
        std::from_chars(strDigits.data(), strDigits.data() + strDigits.size(), nValue);
    if (error != std::errc() || pEnd != strDigits.data() + strDigits.size())
        return std::nullopt;
    return nValue;
}

// The field between braces, or why it is none; "addr:-4" -> the last 4 digits of the address.
std::optional<CPiece> ParseField(std::string_view strField, std::string &strError)
{
    if (strField == "addr")
        return CPiece{EField::Addr, {}, kAddressDigits};
    if (strField == "n")
        return CPiece{EField::Counter, {}, 0};
    if (strField.starts_with("addr:")) {
        const std::optional<size_t> nDigits =
            strField.starts_with("addr:-") ? SmallNumber(strField.substr(6)) : std::nullopt;
        if (nDigits && *nDigits >= 1 && *nDigits <= kAddressDigits)
            return CPiece{EField::Addr, {}, *nDigits};
        strError = "{addr:-N} takes N from 1 to 12";
    } else if (strField.starts_with("n:")) {
        const std::optional<size_t> nWidth =
            strField.starts_with("n:0") ? SmallNumber(strField.substr(3)) : std::nullopt;
        if (nWidth && *nWidth >= 1 && *nWidth <= kMaxCounterWidth)
            return CPiece{EField::Counter, {}, *nWidth};
        strError = "{n:0W} takes a width W from 1 to 20 after a 0, as in {n:03}";
    } else if (strField.starts_with("csv:")) {
        if (strField.size() > 4)
            return CPiece{EField::Csv, std::string(strField.substr(4)), 0};
        strError = "{csv:COLUMN} names no column";
    } else {
        strError = "unknown field {" + std::string(strField) + "} (" + kFieldList + ")";
    }
    return std::nullopt;
}

size_t DecimalDigits(uint64_t nValue)
{
    return std::to_string(nValue).size();
}

// What a text takes in the module: its GBK bytes, or its UTF-8 bytes (never fewer) when GBK
// cannot hold it, which the unit's own check refuses anyway.
size_t GbkBytes(std::string_view strUtf8)
{
    const std::optional<std::string> strGbk = Utf8ToGbk(strUtf8);
    return strGbk ? strGbk->size() : strUtf8.size();
}

bool IsModuleAddress(const std::string &strAddr)
{
    return strAddr.size() == kAddressDigits &&
           std::all_of(strAddr.begin(), strAddr.end(),
                       [](char ch) { return std::isxdigit(static_cast<unsigned char>(ch)) != 0; });
}

// The fewest and the most bytes of a column's values; nothing when the column is not there.
std::optional<std::pair<size_t, size_t>> ColumnBytes(const CUnitsCsv *pUnits,
                                                     const std::string &strColumn)
{
    const std::optional<size_t> nColumn = pUnits ? pUnits->ColumnIndex(strColumn) : std::nullopt;
    if (!nColumn)
        return std::nullopt;
    std::pair<size_t, size_t> bytes{pUnits->RowCount() == 0 ? 0 : SIZE_MAX, 0};
    for (size_t nRow = 1; nRow <= pUnits->RowCount(); ++nRow) {
        const size_t nBytes = GbkBytes(pUnits->Value(nRow, *nColumn));
        bytes = {std::min(bytes.first, nBytes), std::max(bytes.second, nBytes)};
    }
    return bytes;
}

} // namespace

CUnitTemplateParse CUnitTemplate::Parse(std::string_view strTemplate)
{
    CUnitTemplateParse result;
    for (size_t nPos = 0; nPos < strTemplate.size();) {
        std::string strWhy;
        const size_t nNext = ParseStep(strTemplate, nPos, result.unitTemplate.m_pieces, strWhy);
        if (!strWhy.empty()) {
            result.strError =
                "character " + std::to_string(CharacterAt(strTemplate, nPos)) + ": " + strWhy;
            return result;
        }
        nPos = nNext;
    }
    result.bOk = true;
    return result;
}

// One doubled brace, one field or one character at nPos; the position after it.
size_t CUnitTemplate::ParseStep(std::string_view strTemplate, size_t nPos,
                                std::vector<CPiece> &pieces, std::string &strWhy)
{
    const char ch = strTemplate[nPos];
    const bool bDoubled = nPos + 1 < strTemplate.size() && strTemplate[nPos + 1] == ch;
    size_t nLength = std::min(Utf8SequenceLength(ch), strTemplate.size() - nPos);
    if (ch == '{' && !bDoubled) {
        const size_t nClose = strTemplate.find('}', nPos);
        if (nClose == std::string_view::npos) {
            strWhy = "{ is not closed (write {{ for a brace)";
            return nPos;
        }
        const std::optional<CPiece> field =
            ParseField(strTemplate.substr(nPos + 1, nClose - nPos - 1), strWhy);
        if (field)
            pieces.push_back(*field);
        return nClose + 1;
    }
    if (ch == '}' && !bDoubled)
        strWhy = "a lone } (write }} for a brace)";
    else if (!Utf8ToGbk(strTemplate.substr(nPos, nLength)))
        strWhy = "a character that GBK cannot carry";
    if (pieces.empty() || pieces.back().eField != EField::Literal)
        pieces.push_back({});
    pieces.back().strText += strTemplate.substr(nPos, nLength);
    return nPos + (bDoubled && (ch == '{' || ch == '}') ? 2 : nLength);
}

CTemplateExpansion CUnitTemplate::Expand(const CUnitFacts &facts) const
{
    CTemplateExpansion expansion;
    for (const CPiece &piece : m_pieces) {
        expansion.strText += PieceText(piece, facts, expansion.strError);
        if (!expansion.strError.empty())
            return expansion;
    }
    expansion.bOk = true;
    return expansion;
}

// What one piece gives a unit; nothing, with the reason, when the unit lacks the fact.
std::string CUnitTemplate::PieceText(const CPiece &piece, const CUnitFacts &facts,
                                     std::string &strError)
{
    switch (piece.eField) {
    case EField::Literal:
        return piece.strText;
    case EField::Addr:
        if (IsModuleAddress(facts.strAddr))
            return facts.strAddr.substr(kAddressDigits - piece.nDigits);
        strError = facts.strAddr.empty()
                       ? "the module reported no address"
                       : "the module's address \"" + facts.strAddr + "\" is not 12 hex digits";
        return {};
    case EField::Counter: {
        const std::string strDigits = std::to_string(facts.nCounter);
        return std::string(piece.nDigits - std::min(piece.nDigits, strDigits.size()), '0') +
               strDigits;
    }
    case EField::Csv:
        break;
    }
    const std::optional<size_t> nColumn =
        facts.pUnits ? facts.pUnits->ColumnIndex(piece.strText) : std::nullopt;
    if (facts.nRow >= 1 && nColumn && facts.nRow <= facts.pUnits->RowCount())
        return facts.pUnits->Value(facts.nRow, *nColumn);
    strError = "no row of the units file for this unit";
    return {};
}

CTemplateSize CUnitTemplate::Size(const CTemplateBounds &bounds) const
{
    size_t nMin = 0;
    size_t nMax = 0;
    bool bKnown = true;
    for (const CPiece &piece : m_pieces) {
        if (piece.eField == EField::Literal || piece.eField == EField::Addr) {
            const size_t nBytes =
                piece.eField == EField::Addr ? piece.nDigits : GbkBytes(piece.strText);
            nMin += nBytes;
            nMax += nBytes;
        } else if (piece.eField == EField::Counter) {
            nMin += std::max(piece.nDigits, DecimalDigits(bounds.nCounterFirst));
            bKnown = bKnown && bounds.nCounterLast.has_value();
            if (bounds.nCounterLast)
                nMax +=
                    std::max(piece.nDigits,
                             DecimalDigits(std::max(*bounds.nCounterLast, bounds.nCounterFirst)));
        } else {
            const auto bytes = ColumnBytes(bounds.pUnits, piece.strText);
            bKnown = bKnown && bytes.has_value();
            nMin += bytes ? bytes->first : 0;
            nMax += bytes ? bytes->second : 0;
        }
    }
    return {nMin, bKnown ? std::optional<size_t>(nMax) : std::nullopt};
}

std::vector<std::string> CUnitTemplate::CsvColumns() const
{
    std::vector<std::string> columns;
    for (const CPiece &piece : m_pieces) {
        if (piece.eField == EField::Csv &&
            std::find(columns.begin(), columns.end(), piece.strText) == columns.end())
            columns.push_back(piece.strText);
    }
    return columns;
}

std::string CheckTemplateFits(std::string_view strOption, const CUnitTemplate &unitTemplate,
                              size_t nMaxBytes, const CTemplateBounds &bounds)
{
    const CTemplateSize size = unitTemplate.Size(bounds);
    const std::string strLimit =
        " bytes in GBK, the module takes at most " + std::to_string(nMaxBytes);
    if (size.nMaxBytes && *size.nMaxBytes > nMaxBytes)
        return std::string(strOption) +
               (size.nMinBytes == *size.nMaxBytes ? ": expands to " : ": can expand to ") +
               std::to_string(*size.nMaxBytes) + strLimit;
    if (size.nMinBytes > nMaxBytes)
        return std::string(strOption) + ": expands to at least " + std::to_string(size.nMinBytes) +
               strLimit;
    return {};
}
