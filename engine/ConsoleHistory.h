#pragma once

#include "engine/ConsoleCommand.h"

#include <optional>
#include <string>
#include <vector>

class CProfile;

// The console's earlier commands, recalled with Up and Down as a shell does, and the chosen line
// ending; both kept in the profile's [Console] section between runs.
class CConsoleHistory
{
public:
    static constexpr size_t kMaxEntries = 100;

    // A command that was sent, as typed: it becomes the newest, and an equal older one goes. Empty
    // text is not kept. Ends any recall in progress.
    void Add(const std::string &strTyped);
    const std::vector<std::string> &Entries() const { return m_entries; } // newest last

    // Up: the next older command, keeping strTyped (what the field holds) when the recall starts
    // from the field; the oldest stays put. Down: the next newer one, and past the newest what was
    // typed before Up. Nothing when there is nowhere to go.
    std::optional<std::string> Up(const std::string &strTyped);
    std::optional<std::string> Down();
    // Forgets the place in the recall, as after sending.
    void ResetRecall();

    EConsoleEol LineEnding() const { return m_eEol; }
    void SetLineEnding(EConsoleEol eEol) { m_eEol = eEol; }

    // Whatever the profile holds: missing keys, gaps, junk and entries that could never have been
    // sent are passed over, duplicates kept once (the newest), at most kMaxEntries.
    void Load(CProfile &profile);
    void Save(CProfile &profile) const;

private:
    std::vector<std::string> m_entries;
    size_t m_nRecall = 0; // index into m_entries while recalling; m_entries.size() when not
    std::string m_strDraft;
    EConsoleEol m_eEol = kDefaultConsoleEol;
};
