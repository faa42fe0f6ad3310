#pragma once

#include <cstddef>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A module's address as its twelve hex digits, upper case, separators dropped:
// "00:15:83:00:a1:b2" -> "00158300A1B2". Empty when the text is anything else.
std::string NormalizedAddress(std::string_view strText);

struct CUnitsCsvRead;

// The per-unit values of a production run: RFC 4180 text (quoted fields may hold commas, quotes
// and line breaks; CRLF or LF; a UTF-8 byte order mark is ignored), a header row naming the
// columns, then one row per unit. Rows are numbered from 1, the first row under the header, as
// the ledger and every message write them. An "addr" column ties a row to the module with that
// address; rows whose "addr" is empty go to any module.
class CUnitsCsv
{
public:
    static constexpr const char *kAddrColumn = "addr";

    const std::vector<std::string> &Columns() const { return m_columns; }
    std::optional<size_t> ColumnIndex(std::string_view strName) const;
    size_t RowCount() const { return m_rows.size(); }
    // nRow from 1 to RowCount(); nColumn an index of Columns().
    const std::string &Value(size_t nRow, size_t nColumn) const;
    // The first of the names that is not a column, with the columns there are; empty when all are.
    std::string MissingColumn(const std::vector<std::string> &names) const;
    // The row whose "addr" holds this address (any notation NormalizedAddress takes).
    std::optional<size_t> RowOfAddress(std::string_view strAddr) const;
    // Whether the row belongs to one module (its "addr" is not empty).
    bool IsReserved(size_t nRow) const;

private:
    friend CUnitsCsvRead ParseUnitsCsv(std::string_view strText);
    std::string CheckAddresses();

    std::vector<std::string> m_columns;
    std::vector<std::vector<std::string>> m_rows;
    std::optional<size_t> m_nAddrColumn;
    std::map<std::string, size_t> m_rowOfAddr; // normalized address -> row
};

// A units file as read, or why it was refused (naming the line or the column).
struct CUnitsCsvRead
{
    bool bOk = false;
    std::string strError;
    CUnitsCsv units;
};

CUnitsCsvRead ParseUnitsCsv(std::string_view strText);
// Refuses a file over 1 MiB unread, as configuration files are.
CUnitsCsvRead LoadUnitsCsv(const std::string &strPath);

// Hands each unit its row, once. A module gets the row that names its address; else the row it
// was given before (the ledger says which, so a module that failed and comes back gets its own
// row again); else the next row, in order, that no module was given and that names no address.
// Units on several ports ask at once: every call is thread-safe.
class CUnitsRowPicker
{
public:
    explicit CUnitsRowPicker(const CUnitsCsv &units);

    // A row handed out before this run (from the ledger), and the address it went to.
    void MarkGiven(size_t nRow, std::string_view strAddr);
    // The row for the module at this address; nothing when every row is used.
    std::optional<size_t> Take(std::string_view strAddr);

private:
    const CUnitsCsv &m_units;
    std::mutex m_mutex;
    std::vector<bool> m_used;              // by row - 1
    std::map<std::string, size_t> m_given; // normalized address -> row
    size_t m_nNext = 1;                    // no row before it is free
};
