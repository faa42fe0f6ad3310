#include "cli/Ledger.h"

#include "cli/UnitsCsv.h"

#include <algorithm>
#include <cstdio>

namespace {

using Json = nlohmann::ordered_json;

constexpr const char *kClaimRecord = "claim";
constexpr const char *kUnitRecord = "unit";
constexpr const char *kPairRecord = "pair";

Json TextOrNull(const std::string &strText)
{
    return strText.empty() ? Json() : Json(strText);
}

template <typename T> Json ValueOrNull(const std::optional<T> &value)
{
    return value ? Json(*value) : Json();
}

// One line, whatever the texts hold: bytes that are not UTF-8 become U+FFFD rather than fail.
std::string LineOf(const Json &record)
{
    return record.dump(-1, ' ', false, Json::error_handler_t::replace);
}

const std::string *TextField(const nlohmann::json &record, const char *pszKey)
{
    const auto found = record.find(pszKey);
    return found != record.end() && found->is_string() ? found->get_ptr<const std::string *>()
                                                       : nullptr;
}

std::optional<uint64_t> CountField(const nlohmann::json &record, const char *pszKey)
{
    const auto found = record.find(pszKey);
    if (found == record.end() || !found->is_number_unsigned())
        return std::nullopt;
    return found->get<uint64_t>();
}

} // namespace

const char *UnitResultName(EUnitResult eResult)
{
    switch (eResult) {
    case EUnitResult::Passed:
        return "passed";
    case EUnitResult::Failed:
        return "failed";
    case EUnitResult::Skipped:
        return "skipped";
    }
    return "failed";
}

std::optional<EUnitResult> ParseUnitResult(std::string_view strName)
{
    for (const EUnitResult eResult :
         {EUnitResult::Passed, EUnitResult::Failed, EUnitResult::Skipped}) {
        if (strName == UnitResultName(eResult))
            return eResult;
    }
    return std::nullopt;
}

const char *UnitEndName(EUnitEnd eEnd)
{
    switch (eEnd) {
    case EUnitEnd::VerifyMismatch:
        return "verify_mismatch";
    case EUnitEnd::TemplateRefused:
        return "template_refused";
    case EUnitEnd::AlreadyPassed:
        return "already_passed";
    case EUnitEnd::NoLineRate:
        return "no_line_rate";
    case EUnitEnd::OpenFailed:
        return "open_failed";
    case EUnitEnd::NoUnitsRow:
        return "no_units_row";
    case EUnitEnd::LedgerFailed:
        return "ledger_failed";
    }
    return "unknown";
}

std::string IsoTimeUtc(std::chrono::system_clock::time_point when)
{
    using namespace std::chrono;
    const auto millis = floor<milliseconds>(when);
    const auto day = floor<days>(millis);
    const year_month_day date{day};
    const hh_mm_ss time{millis - day};
    char achText[32] = {};
    std::snprintf(achText, sizeof(achText), "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ",
                  static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
                  static_cast<unsigned>(date.day()), static_cast<int>(time.hours().count()),
                  static_cast<int>(time.minutes().count()),
                  static_cast<int>(time.seconds().count()),
                  static_cast<int>(time.subseconds().count()));
    return achText;
}

namespace {

// What a record says of one module: where it was, what it is, what it was asked and what it read.
void PutModuleFacts(Json &record, const CLedgerUnit &unit)
{
    record["port"] = TextOrNull(unit.strPort);
    record["by_id"] = TextOrNull(unit.strById);
    record["line_rate"] = unit.nLineRate == 0 ? Json() : Json(unit.nLineRate);
    record["addr"] = TextOrNull(unit.strAddr);
    record["version"] = TextOrNull(unit.strVersion);
    record["asked"] = unit.asked;
    record["read"] = unit.read;
}

void PutOutcome(Json &record, EUnitResult eResult, const std::string &strEnd,
                const std::string &strText)
{
    record["result"] = UnitResultName(eResult);
    record["end"] = TextOrNull(strEnd);
    record["text"] = TextOrNull(strText);
}

} // namespace

std::string LedgerUnitLine(const CLedgerUnit &unit, std::chrono::system_clock::time_point when)
{
    Json record;
    record["record"] = kUnitRecord;
    record["time"] = IsoTimeUtc(when);
    PutModuleFacts(record, unit);
    record["counter"] = ValueOrNull(unit.nCounter);
    record["csv_row"] = ValueOrNull(unit.nCsvRow);
    PutOutcome(record, unit.eResult, unit.strEnd, unit.strText);
    return LineOf(record);
}

std::string LedgerPairLine(const CLedgerPair &pair, std::chrono::system_clock::time_point when)
{
    Json record;
    record["record"] = kPairRecord;
    record["time"] = IsoTimeUtc(when);
    const std::pair<const char *, const CLedgerUnit *> sides[] = {{"master", &pair.master},
                                                                  {"slave", &pair.slave}};
    for (const auto &[pszRole, pUnit] : sides) {
        Json side;
        PutModuleFacts(side, *pUnit);
        PutOutcome(side, pUnit->eResult, pUnit->strEnd, pUnit->strText);
        record[pszRole] = side;
    }
    PutOutcome(record, pair.eResult, pair.strEnd, pair.strText);
    return LineOf(record);
}

std::string LedgerClaimLine(const CLedgerClaim &claim, uint64_t nCounter,
                            std::chrono::system_clock::time_point when)
{
    Json record;
    record["record"] = kClaimRecord;
    record["time"] = IsoTimeUtc(when);
    record["port"] = TextOrNull(claim.strPort);
    record["addr"] = TextOrNull(claim.strAddr);
    record["counter"] = nCounter;
    record["csv_row"] = ValueOrNull(claim.nCsvRow);
    return LineOf(record);
}

CLedgerSummary CLedgerSummary::FromText(std::string_view strText)
{
    CLedgerSummary summary;
    // Only lines that end in a newline: the text after the last one is a record cut short.
    for (size_t nEnd = strText.find('\n'); nEnd != std::string_view::npos;
         strText.remove_prefix(nEnd + 1), nEnd = strText.find('\n')) {
        const nlohmann::json record =
            nlohmann::json::parse(strText.substr(0, nEnd), nullptr, false);
        if (!record.is_discarded())
            summary.Take(record);
    }
    return summary;
}

void CLedgerSummary::Take(const nlohmann::json &record)
{
    const std::string *pKind = record.is_object() ? TextField(record, "record") : nullptr;
    if (pKind == nullptr || (*pKind != kClaimRecord && *pKind != kUnitRecord))
        return;
    if (const std::optional<uint64_t> nCounter = CountField(record, "counter"))
        m_nHighestCounter = std::max(m_nHighestCounter.value_or(0), *nCounter);
    const std::string *pAddr = TextField(record, "addr");
    const std::string strAddr = pAddr ? NormalizedAddress(*pAddr) : std::string();
    if (const std::optional<uint64_t> nRow = CountField(record, "csv_row"); nRow && *nRow > 0) {
        std::string &strRowAddr = m_csvRows[static_cast<size_t>(*nRow)];
        if (!strAddr.empty())
            strRowAddr = strAddr;
    }
    if (*pKind != kUnitRecord)
        return;
    ++m_nUnits;
    const std::string *pResult = TextField(record, "result");
    const std::optional<EUnitResult> eResult = pResult ? ParseUnitResult(*pResult) : std::nullopt;
    // A skipped unit wrote nothing: the module is as its last provisioning left it.
    if (eResult && *eResult != EUnitResult::Skipped && !strAddr.empty())
        m_lastResult[strAddr] = *eResult;
}

std::optional<EUnitResult> CLedgerSummary::LastResult(std::string_view strAddr) const
{
    const auto found = m_lastResult.find(NormalizedAddress(strAddr));
    if (found == m_lastResult.end())
        return std::nullopt;
    return found->second;
}

std::unique_ptr<CLedger> CLedger::Open(const std::string &strPath, uint64_t nCounterStart,
                                       std::string &strError)
{
    std::unique_ptr<CLedger> pLedger(new CLedger);
    pLedger->m_nCounterStart = nCounterStart;
    std::string strText;
    if (!pLedger->m_file.Open(strPath, strError) || !pLedger->m_file.ReadAll(strText, strError))
        return nullptr;
    pLedger->m_summary = CLedgerSummary::FromText(strText);
    pLedger->m_bAtLineStart = strText.empty() || strText.back() == '\n';
    return pLedger;
}

std::optional<uint64_t> CLedger::Claim(const CLedgerClaim &claim, std::string &strError)
{
    const std::lock_guard lock(m_mutex);
    const std::optional<uint64_t> nCounter = NextCounterHeld();
    if (!nCounter) {
        strError = "the ledger " + m_file.Path() + " has used every counter value";
        return std::nullopt;
    }
    const std::string strLine = LedgerClaimLine(claim, *nCounter, std::chrono::system_clock::now());
    // Taken before the write: a value whose claim may have reached the disk is never reused.
    m_summary.Take(nlohmann::json::parse(strLine));
    if (!AppendLine(strLine, strError))
        return std::nullopt;
    return nCounter;
}

bool CLedger::Append(const CLedgerUnit &unit, std::string &strError)
{
    const std::lock_guard lock(m_mutex);
    const std::string strLine = LedgerUnitLine(unit, std::chrono::system_clock::now());
    if (!AppendLine(strLine, strError))
        return false;
    m_summary.Take(nlohmann::json::parse(strLine));
    return true;
}

bool CLedger::Append(const CLedgerPair &pair, std::string &strError)
{
    const std::lock_guard lock(m_mutex);
    return AppendLine(LedgerPairLine(pair, std::chrono::system_clock::now()), strError);
}

bool CLedger::HasPassed(std::string_view strAddr) const
{
    const std::lock_guard lock(m_mutex);
    return m_summary.LastResult(strAddr) == EUnitResult::Passed;
}

CLedgerSummary CLedger::Summary() const
{
    const std::lock_guard lock(m_mutex);
    return m_summary;
}

std::optional<uint64_t> CLedger::NextCounter() const
{
    const std::lock_guard lock(m_mutex);
    return NextCounterHeld();
}

std::optional<uint64_t> CLedger::NextCounterHeld() const
{
    const std::optional<uint64_t> nHighest = m_summary.HighestCounter();
    if (!nHighest)
        return m_nCounterStart;
    if (*nHighest == UINT64_MAX)
        return std::nullopt;
    return std::max(*nHighest + 1, m_nCounterStart);
}

// Called with the lock held. A line that did not reach the disk whole may have left part of
// itself: the next one then starts on a line of its own, and readers skip the part.
bool CLedger::AppendLine(const std::string &strLine, std::string &strError)
{
    const std::string strBytes = (m_bAtLineStart ? "" : "\n") + strLine + "\n";
    m_bAtLineStart = false;
    if (!m_file.AppendDurably(strBytes, strError))
        return false;
    m_bAtLineStart = true;
    return true;
}
