#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class CUnitsCsv;

// What one unit brings to a template.
struct CUnitFacts
{
    std::string strAddr;               // as "AT+LADDR?" read it: 12 hex characters
    uint64_t nCounter = 0;             // the value the ledger claimed for the unit
    const CUnitsCsv *pUnits = nullptr; // the units file and the unit's row in it (from 1)
    size_t nRow = 0;
};

// What is known of every unit before the first is seen.
struct CTemplateBounds
{
    uint64_t nCounterFirst = 1;
    // The highest value the counter can reach in this run; none: it can grow without a bound.
    std::optional<uint64_t> nCounterLast;
    const CUnitsCsv *pUnits = nullptr; // null: no units file
};

// The fewest and the most GBK bytes a template can expand to; the most is not knowable when a
// counter can grow without a bound or a column's values are not known yet.
struct CTemplateSize
{
    size_t nMinBytes = 0;
    std::optional<size_t> nMaxBytes;
};

// One unit's text, or why the unit cannot have it.
struct CTemplateExpansion
{
    bool bOk = false;
    std::string strText; // UTF-8, as an option typed on the command line
    std::string strError;
};

struct CUnitTemplateParse;

// A per-unit text such as "Sensor-{addr:-4}": literal text, with fields in braces filled in for
// each unit. {addr} is the module's address, {addr:-N} its last N digits, {n} the counter,
// {n:0W} the counter zero-padded to W digits, {csv:COLUMN} the unit's value in that column of the
// units file; {{ and }} are literal braces.
class CUnitTemplate
{
public:
    enum class EField : uint8_t { Literal, Addr, Counter, Csv };

    // One literal run or one field.
    struct CPiece
    {
        EField eField = EField::Literal;
        std::string strText; // Literal: the text (UTF-8); Csv: the column
        size_t nDigits = 0;  // Addr: how many of the last digits (12 all); Counter: the width
    };

    // Refusals name what is wrong and the character (from 1) where it is.
    static CUnitTemplateParse Parse(std::string_view strTemplate);

    CTemplateExpansion Expand(const CUnitFacts &facts) const;
    CTemplateSize Size(const CTemplateBounds &bounds) const;

    // The columns the template reads, each once, to check against the units file's header.
    std::vector<std::string> CsvColumns() const;

private:
    static size_t ParseStep(std::string_view strTemplate, size_t nPos, std::vector<CPiece> &pieces,
                            std::string &strWhy);
    static std::string PieceText(const CPiece &piece, const CUnitFacts &facts,
                                 std::string &strError);

    std::vector<CPiece> m_pieces;
};

struct CUnitTemplateParse
{
    bool bOk = false;
    std::string strError;
    CUnitTemplate unitTemplate;
};

// Refuses, before any port opens, a template that can expand past a parameter's byte limit:
// the message names the option, the limit and the size. Empty when it always fits, and when
// that cannot be known yet (each unit's own check then refuses the unit).
std::string CheckTemplateFits(std::string_view strOption, const CUnitTemplate &unitTemplate,
                              size_t nMaxBytes, const CTemplateBounds &bounds);
