#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

// A production run's ledger: JSON Lines, one object a line, appended and flushed to the disk
// before a unit is reported. Three kinds of record:
//   {"record": "claim", ...}  a counter value (and units-file row) taken for a unit, written
//                             before the unit writes anything to its module; not a unit
//   {"record": "unit", ...}   one unit's outcome
//   {"record": "pair", ...}   two modules paired, each one's facts under "master" and "slave"
// A reader takes only whole lines that parse: a crash can leave a last line without its newline
// (never a record), and the next append starts on a fresh line.

// What became of a unit.
enum class EUnitResult : uint8_t { Passed, Failed, Skipped };
const char *UnitResultName(EUnitResult eResult); // "passed", "failed", "skipped"
std::optional<EUnitResult> ParseUnitResult(std::string_view strName);

// Why a unit ended, where a run's own end (RunEndName: "done", "refused", "timed_out", ...) does
// not say it; language-free words as well.
enum class EUnitEnd : uint8_t {
    VerifyMismatch,  // the module read back otherwise than it was asked
    TemplateRefused, // a per-unit text could not be made (no address, no row, too long)
    AlreadyPassed,   // the ledger holds the module as passed (skipped without --again)
    NoLineRate,      // no line rate answered
    OpenFailed,      // the port did not open
    NoUnitsRow,      // every row of the units file was handed out
    LedgerFailed,    // the unit's claim could not be put on the disk; nothing was written
};
const char *UnitEndName(EUnitEnd eEnd);

// One unit's record. Texts are UTF-8; an empty text or an absent value is written as null.
struct CLedgerUnit
{
    std::string strPort;
    std::string strById;    // /dev/serial/by-id/... when the system has one
    uint32_t nLineRate = 0; // the line rate found; 0 none
    std::string strAddr;    // as the module read it
    std::string strVersion;
    // The values asked for and the values read back, as "query --json" writes "params".
    nlohmann::ordered_json asked;
    nlohmann::ordered_json read;
    std::optional<uint64_t> nCounter;
    std::optional<size_t> nCsvRow; // from 1, the first row under the header
    EUnitResult eResult = EUnitResult::Failed;
    std::string strEnd;  // RunEndName or UnitEndName
    std::string strText; // what the user was told, in the user's language
};

// Two modules made a pair: each one's facts, result and end (which says which of them failed),
// and the pair's own.
struct CLedgerPair
{
    CLedgerUnit master; // its counter and units-file row are not written
    CLedgerUnit slave;
    EUnitResult eResult = EUnitResult::Failed;
    std::string strEnd;
    std::string strText;
};

// What a claim takes for one unit before the unit writes anything.
struct CLedgerClaim
{
    std::string strPort;
    std::string strAddr;
    std::optional<size_t> nCsvRow;
};

// "2024-05-01T12:34:56.789Z": UTC, so that lines written across a change of the clocks or by
// machines in other zones still sort and compare.
std::string IsoTimeUtc(std::chrono::system_clock::time_point when);

// The record lines, without their newline.
std::string LedgerUnitLine(const CLedgerUnit &unit, std::chrono::system_clock::time_point when);
std::string LedgerPairLine(const CLedgerPair &pair, std::chrono::system_clock::time_point when);
std::string LedgerClaimLine(const CLedgerClaim &claim, uint64_t nCounter,
                            std::chrono::system_clock::time_point when);

// What a ledger's records tell: the counter values taken, each module's last result and the
// units-file rows handed out.
class CLedgerSummary
{
public:
    // A whole ledger's text: a last line without its newline, a line that does not parse and a
    // record of an unknown kind are skipped.
    static CLedgerSummary FromText(std::string_view strText);
    // One parsed record; a value of the wrong type counts as absent.
    void Take(const nlohmann::json &record);

    std::optional<uint64_t> HighestCounter() const { return m_nHighestCounter; }
    // The result of the module's last unit record (the address in any notation).
    std::optional<EUnitResult> LastResult(std::string_view strAddr) const;
    // Each row handed out, and the address it went to (empty when none was read).
    const std::map<size_t, std::string> &CsvRows() const { return m_csvRows; }
    size_t UnitCount() const { return m_nUnits; }

private:
    std::optional<uint64_t> m_nHighestCounter;
    std::map<std::string, EUnitResult> m_lastResult; // normalized address -> result
    std::map<size_t, std::string> m_csvRows;
    size_t m_nUnits = 0;
};

// The ledger's file, held open and locked for this process: one source file per system
// (LedgerPosix.cpp: flock and fsync; LedgerWin32.cpp: LockFileEx and FlushFileBuffers).
class CLedgerFile
{
public:
    CLedgerFile() = default;
    ~CLedgerFile();
    CLedgerFile(const CLedgerFile &) = delete;
    CLedgerFile &operator=(const CLedgerFile &) = delete;

    // Opens the file for reading and appending, creating it, and takes its lock without waiting.
    // False, with the reason naming the path, when it cannot, or another process holds it.
    bool Open(const std::string &strPath, std::string &strError);
    bool ReadAll(std::string &strText, std::string &strError);
    // Writes the bytes at the end and returns once the system has them on the disk.
    bool AppendDurably(std::string_view bytes, std::string &strError);
    const std::string &Path() const { return m_strPath; }

private:
    std::string m_strPath;
    intptr_t m_nHandle = -1; // a descriptor, or a HANDLE
};

// The open ledger of a production run. Units on several ports append at once: every member is
// thread-safe. The counter never hands out a value twice: each claim is on the disk before its
// value is returned, and a ledger opened again continues past the highest value it holds.
class CLedger
{
public:
    // Null, with strError naming the path and the cause, when the file cannot be opened, read or
    // locked (a folder that cannot be written, another Kestrel appending to it).
    static std::unique_ptr<CLedger> Open(const std::string &strPath, uint64_t nCounterStart,
                                         std::string &strError);

    // Takes the next counter value for a unit and puts the claim on the disk; nothing, with
    // strError, when that failed (the value is not handed out again either way).
    std::optional<uint64_t> Claim(const CLedgerClaim &claim, std::string &strError);
    // Appends a unit's record and returns once it is on the disk.
    bool Append(const CLedgerUnit &unit, std::string &strError);
    bool Append(const CLedgerPair &pair, std::string &strError);

    // Whether the module's last record says it passed (the unit is then skipped without --again).
    bool HasPassed(std::string_view strAddr) const;
    CLedgerSummary Summary() const;
    // The value the next claim takes: past the highest the ledger holds, from the start given;
    // nothing when every value is used.
    std::optional<uint64_t> NextCounter() const;

private:
    CLedger() = default;
    bool AppendLine(const std::string &strLine, std::string &strError);
    std::optional<uint64_t> NextCounterHeld() const; // with the lock held

    CLedgerFile m_file;
    mutable std::mutex m_mutex;
    CLedgerSummary m_summary;
    uint64_t m_nCounterStart = 1;
    bool m_bAtLineStart = true; // the file ends in a newline (or is empty)
};
