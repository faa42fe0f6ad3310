#include "cli/UnitsCsv.h"

#include "engine/FileText.h"

#include <algorithm>
#include <cctype>
#include <set>

namespace {

constexpr size_t kAddressDigits = 12;
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// Cuts RFC 4180 text into records, counting lines so that a refusal can say where.
class CCsvReader
{
public:
    explicit CCsvReader(std::string_view strText) : m_strText(strText) {}

    int Line() const { return m_nLine; }

    // The next record's fields; false at the end of the text or, with strError, at a fault.
    bool Next(std::vector<std::string> &fields, std::string &strError)
    {
        fields.clear();
        if (m_nPos >= m_strText.size())
            return false;
        for (;;) {
            std::string strField;
            if (!ReadField(strField, strError))
                return false;
            fields.push_back(std::move(strField));
            if (m_nPos >= m_strText.size())
                return true;
            if (m_strText[m_nPos] == ',') {
                ++m_nPos;
                continue;
            }
            EndLine();
            return true;
        }
    }

private:
    bool AtFieldEnd() const
    {
        return m_nPos >= m_strText.size() || m_strText[m_nPos] == ',' ||
               m_strText[m_nPos] == '\r' || m_strText[m_nPos] == '\n';
    }

    // CRLF, LF or a lone CR.
    void EndLine()
    {
        if (m_strText[m_nPos] == '\r')
            ++m_nPos;
        if (m_nPos < m_strText.size() && m_strText[m_nPos] == '\n')
            ++m_nPos;
        ++m_nLine;
    }

    bool ReadField(std::string &strField, std::string &strError)
    {
        if (m_nPos < m_strText.size() && m_strText[m_nPos] == '"')
            return ReadQuoted(strField, strError);
        const size_t nStart = m_nPos;
        while (!AtFieldEnd())
            ++m_nPos;
        strField = m_strText.substr(nStart, m_nPos - nStart);
        if (strField.find('"') == std::string::npos)
            return true;
        strError =
            "line " + std::to_string(m_nLine) +
            ": a quote inside an unquoted field (quote the whole field and double the quote)";
        return false;
    }

    // "a ""b"", c" -> a "b", c; line breaks inside count as lines.
    bool ReadQuoted(std::string &strField, std::string &strError)
    {
        const int nStartLine = m_nLine;
        ++m_nPos;
        for (;;) {
            const size_t nQuote = m_strText.find('"', m_nPos);
            if (nQuote == std::string_view::npos) {
                strError = "line " + std::to_string(nStartLine) + ": a quoted field is not closed";
                return false;
            }
            const std::string_view part = m_strText.substr(m_nPos, nQuote - m_nPos);
            strField += part;
            m_nLine += static_cast<int>(std::count(part.begin(), part.end(), '\n'));
            m_nPos = nQuote + 1;
            if (m_nPos >= m_strText.size() || m_strText[m_nPos] != '"')
                break;
            strField += '"';
            ++m_nPos;
        }
        if (AtFieldEnd())
            return true;
        strError = "line " + std::to_string(m_nLine) + ": text after a closing quote";
        return false;
    }

    std::string_view m_strText;
    size_t m_nPos = 0;
    int m_nLine = 1;
};

bool IsBlank(const std::vector<std::string> &fields)
{
    return fields.size() == 1 && fields[0].empty();
}

std::string JoinColumns(const std::vector<std::string> &columns)
{
    std::string strList;
    for (const std::string &strColumn : columns)
        strList += (strList.empty() ? "" : ", ") + strColumn;
    return strList;
}

std::string CheckHeader(const std::vector<std::string> &columns)
{
    std::set<std::string> seen;
    for (const std::string &strColumn : columns) {
        if (!seen.insert(strColumn).second)
            return "line 1: the column \"" + strColumn + "\" is named twice";
    }
    return {};
}

} // namespace

std::string NormalizedAddress(std::string_view strText)
{
    std::string strDigits;
    for (const char ch : strText) {
        if (ch == ':' || ch == '-')
            continue;
        if (!std::isxdigit(static_cast<unsigned char>(ch)))
            return {};
        strDigits += static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    }
    return strDigits.size() == kAddressDigits ? strDigits : std::string();
}

std::optional<size_t> CUnitsCsv::ColumnIndex(std::string_view strName) const
{
    for (size_t nColumn = 0; nColumn < m_columns.size(); ++nColumn) {
        if (m_columns[nColumn] == strName)
            return nColumn;
    }
    return std::nullopt;
}

const std::string &CUnitsCsv::Value(size_t nRow, size_t nColumn) const
{
    return m_rows.at(nRow - 1).at(nColumn);
}

std::string CUnitsCsv::MissingColumn(const std::vector<std::string> &names) const
{
    for (const std::string &strName : names) {
        if (!ColumnIndex(strName))
            return "the units file has no column \"" + strName +
                   "\" (its columns: " + JoinColumns(m_columns) + ")";
    }
    return {};
}

std::optional<size_t> CUnitsCsv::RowOfAddress(std::string_view strAddr) const
{
    const auto found = m_rowOfAddr.find(NormalizedAddress(strAddr));
    if (found == m_rowOfAddr.end())
        return std::nullopt;
    return found->second;
}

bool CUnitsCsv::IsReserved(size_t nRow) const
{
    return m_nAddrColumn && !Value(nRow, *m_nAddrColumn).empty();
}

// Every "addr" is an address, and no module has two rows.
std::string CUnitsCsv::CheckAddresses()
{
    m_nAddrColumn = ColumnIndex(kAddrColumn);
    for (size_t nRow = 1; m_nAddrColumn && nRow <= m_rows.size(); ++nRow) {
        const std::string &strValue = Value(nRow, *m_nAddrColumn);
        if (strValue.empty())
            continue;
        const std::string strAddr = NormalizedAddress(strValue);
        if (strAddr.empty())
            return "row " + std::to_string(nRow) + ": addr \"" + strValue +
                   "\" is not a module address (12 hex digits)";
        if (!m_rowOfAddr.emplace(strAddr, nRow).second)
            return "row " + std::to_string(nRow) + ": addr " + strValue + " is already row " +
                   std::to_string(m_rowOfAddr[strAddr]) + "'s";
    }
    return {};
}

CUnitsCsvRead ParseUnitsCsv(std::string_view strText)
{
    CUnitsCsvRead result;
    if (strText.starts_with(kByteOrderMark))
        strText.remove_prefix(kByteOrderMark.size());
    CCsvReader reader(strText);
    CUnitsCsv &units = result.units;
    if (!reader.Next(units.m_columns, result.strError)) {
        if (result.strError.empty())
            result.strError = "the units file is empty: a header row naming the columns expected";
        return result;
    }
    if (result.strError = CheckHeader(units.m_columns); !result.strError.empty())
        return result;
    std::vector<std::string> fields;
    for (int nLine = reader.Line(); reader.Next(fields, result.strError); nLine = reader.Line()) {
        if (IsBlank(fields))
            continue;
        if (fields.size() != units.m_columns.size()) {
            result.strError = "line " + std::to_string(nLine) + ": " +
                              std::to_string(fields.size()) + " fields, the header names " +
                              std::to_string(units.m_columns.size());
            return result;
        }
        units.m_rows.push_back(fields);
    }
    if (result.strError.empty())
        result.strError = units.CheckAddresses();
    result.bOk = result.strError.empty();
    return result;
}

CUnitsCsvRead LoadUnitsCsv(const std::string &strPath)
{
    CUnitsCsvRead result;
    std::string strText;
    if (!ReadFileBounded(strPath, kMaxUserFileBytes, strText, result.strError)) {
        result.strError = strPath + ": " + result.strError;
        return result;
    }
    result = ParseUnitsCsv(strText);
    if (!result.bOk)
        result.strError = strPath + ": " + result.strError;
    return result;
}

CUnitsRowPicker::CUnitsRowPicker(const CUnitsCsv &units)
    : m_units(units), m_used(units.RowCount(), false)
{}

void CUnitsRowPicker::MarkGiven(size_t nRow, std::string_view strAddr)
{
    if (nRow < 1 || nRow > m_used.size())
        return; // the file has fewer rows than when the ledger was written
    const std::lock_guard lock(m_mutex);
    m_used[nRow - 1] = true;
    if (const std::string strKey = NormalizedAddress(strAddr); !strKey.empty())
        m_given[strKey] = nRow;
}

std::optional<size_t> CUnitsRowPicker::Take(std::string_view strAddr)
{
    const std::lock_guard lock(m_mutex);
    const std::string strKey = NormalizedAddress(strAddr);
    std::optional<size_t> nRow = m_units.RowOfAddress(strKey);
    if (const auto given = m_given.find(strKey); !nRow && given != m_given.end())
        nRow = given->second;
    for (; !nRow && m_nNext <= m_used.size(); ++m_nNext) {
        if (!m_used[m_nNext - 1] && !m_units.IsReserved(m_nNext))
            nRow = m_nNext;
    }
    if (!nRow)
        return std::nullopt;
    m_used[*nRow - 1] = true;
    if (!strKey.empty())
        m_given[strKey] = *nRow;
    return nRow;
}
