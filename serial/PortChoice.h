#pragma once

#include "serial/PortList.h"
#include "serial/PortSettings.h"
#include "serial/SerialLink.h"

#include <optional>
#include <string>
#include <vector>

// Whose naming the port list follows: Windows numbers its COM ports, POSIX systems name device
// paths. Both are plain rules, so either can be checked on any system.
enum class EPortFlavour { Windows, Posix };

// One entry of the port list.
struct CPortChoiceEntry
{
    std::string strText; // as the list shows it: the name, two blanks, the system's description
    std::string strPath; // what opens when it is chosen: "\\.\COM7", an adapter's by-id name
    std::string strNode; // the name it stands at now: "COM7", "/dev/ttyUSB0"
};

// What OK decided: the device to open, the line to run it at, and what the profile keeps.
struct CPortChosen
{
    std::string strPath;
    CLineSettings line;     // rate and flow as chosen, DTR and RTS as the profile says
    CPortSettings settings; // PortNum, PortName, Flow and Baud to save; Dtr and Rts as read
};

// The port dialog's rules, the same for every face: which ports are listed, which one is
// preselected from what an earlier run kept, and what a choice opens and keeps.
//
// Windows: COM1 to COM50 always, each port the system has with its friendly name, the system's
// ports past COM50 after them, in number order; COM1 to COM50 are kept by their index (PortNum),
// any other port by its name (PortName); "com7" and "\\.\COM7" open as "\\.\COM7".
// POSIX: the system's devices (the simulated module's first when there is one), an adapter opened
// and kept by its by-id name; the list index and the path are kept.
// Both: the saved name wins over the saved index; a raw pseudo-terminal is never kept (its number
// goes to the next terminal that opens); a port kept by name that is not listed (typed, or
// unplugged) is offered again; what is typed opens as typed.
class CPortChoice
{
public:
    // A device offered first and preselected, whatever was kept (the simulated module's).
    struct CPreferredPort
    {
        std::string strPath;
        std::string strDescription; // shown beside it, in the user's language
    };

    // Reads the kept choice from the profile (the faces' own storage) and lists the ports.
    CPortChoice(EPortFlavour eFlavour, const std::vector<CSerialPortEntry> &systemPorts,
                CProfile &profile, const CPreferredPort &preferred = {});

    const std::vector<CPortChoiceEntry> &Entries() const { return m_entries; }
    int Selected() const { return m_nSelected; } // -1 when the list is empty
    // The kept flow index, line rate (or kAutoLineRate), DTR and RTS, each valid.
    const CPortSettings &Saved() const { return m_saved; }

    // OK with the text the port box shows (an entry's text, or what was typed) and the flow
    // list's index (0 none, 1 hardware). Nothing when the text names no port.
    std::optional<CPortChosen> Choose(const std::string &strBoxText, int nFlowIndex,
                                      uint32_t nLineRate) const;

    // The n of "COMn", "comn" or "\\.\COMn" (n from 1); 0 for any other name.
    static int ComNumber(const std::string &strName);

private:
    void ListWindowsPorts(const std::vector<CSerialPortEntry> &systemPorts);
    void ListPosixPorts(const std::vector<CSerialPortEntry> &systemPorts,
                        const CPreferredPort &preferred);
    void Preselect(const std::string &strSavedName, bool bPreferred);
    // The entry listed under this name (its path, else its node); -1 when none is.
    int FindByName(const std::string &strName) const;
    bool SameName(const std::string &strA, const std::string &strB) const;
    // What a name opens when it is not an entry's: "\\.\COMn" for a COM port on Windows.
    std::string PathForName(const std::string &strName) const;
    CPortChoiceEntry EntryForName(const std::string &strName, const std::string &strDescription,
                                  const std::string &strPath) const;
    void KeepPort(const std::string &strPath, CPortSettings &settings) const;

    EPortFlavour m_eFlavour;
    std::vector<CPortChoiceEntry> m_entries;
    int m_nSelected = -1;
    CPortSettings m_saved;
};
