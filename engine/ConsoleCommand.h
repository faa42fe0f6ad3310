#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// What the console sends: a command the user typed (UTF-8, with escapes for bytes that cannot be
// typed) turned into the bytes on the wire, or refused with the reason before anything goes out.

// The bytes that end a console command, in the order the list shows them.
enum class EConsoleEol { CrLf, Cr, Lf, None };

inline constexpr EConsoleEol kConsoleEols[] = {EConsoleEol::CrLf, EConsoleEol::Cr, EConsoleEol::Lf,
                                               EConsoleEol::None};
inline constexpr EConsoleEol kDefaultConsoleEol = EConsoleEol::CrLf;

std::string_view ConsoleEolBytes(EConsoleEol eEol); // "\r\n", "\r", "\n", ""
// The command line's and the profile's name: "crlf", "cr", "lf", "none".
const char *ConsoleEolName(EConsoleEol eEol);
std::optional<EConsoleEol> ParseConsoleEolName(std::string_view strName);
// What the list shows, in the user's language: "CR LF", "CR", "LF", "无".
const char *ConsoleEolListText(EConsoleEol eEol);

// A set command slot's size: the most a console command may take, its ending included.
inline constexpr size_t kConsoleCommandMaxBytes = 128;

// How long a console command waits for the end of its reply: the quiet wait starts again with
// every byte received, and the whole wait never runs past the maximum.
inline constexpr std::chrono::milliseconds kConsoleQuietWait{1000};
inline constexpr std::chrono::milliseconds kConsoleMaxWait{10000};
// The longest reply line the console shows whole; a longer one is shown in pieces of this size.
inline constexpr size_t kConsoleLineMaxBytes = 1024;

enum class EConsoleFault {
    None,
    Empty,       // nothing typed
    NotGbk,      // a character GBK cannot hold (or text that is not UTF-8)
    BadEscape,   // a backslash not followed by r, n, \ or x and two hex digits
    ControlByte, // a control character typed as it is (below 0x20, or 0x7F)
    TooLong,     // more than kConsoleCommandMaxBytes with the ending
};

// A typed command made ready to send, or why it cannot be.
struct CConsoleCommand
{
    EConsoleFault eFault = EConsoleFault::None;
    std::string strCommand; // the command's bytes (GBK, escapes resolved), without the ending
    std::string strBytes;   // what goes out: strCommand and the ending
    // Where the fault is, in characters (code points) of the typed text, from 0; nFaultLength
    // characters long (a whole escape, one character, or from the first one over the limit on).
    size_t nFaultChar = 0;
    size_t nFaultLength = 0;
    std::string strMessage; // in the user's language; empty when fine

    bool Ok() const { return eFault == EConsoleFault::None; }
};

// How many UTF-16 units the first nChars characters of the UTF-8 text take (one past the basic
// plane takes two): where a fault's characters are in a window's text field.
size_t Utf16Units(std::string_view strTextUtf8, size_t nChars);

// Empty text is refused (EConsoleFault::Empty): a bare ending gets no answer from a module, so
// the console would only wait out its timeout; blanks are sent as typed.
CConsoleCommand BuildConsoleCommand(std::string_view strTypedUtf8, EConsoleEol eEol);

// Whether a command may change the module's settings: anything but a plain "AT" or a query (a
// command ending in "?"), judged on each line of the bytes, as a command may hold several.
bool ConsoleCommandCanChangeModule(std::string_view strCommandBytes);

// How a console command's reply ends, judged line by line as bytes come in.
enum class EConsoleReplyEnd {
    Open,    // not yet
    Ok,      // a line "OK"
    Refused, // a line beginning with "ERROR" ("ERROR", "ERROR:3", "ERROR(1F)")
    Inquiry, // "+INQCOMP": a search finished
};

// Cuts the reply into lines (CR or LF end one) and says when one of them ends the command. The
// keywords are matched without regard to letter case, as the module's replies are.
class CConsoleReplyWatch
{
public:
    EConsoleReplyEnd OnBytes(std::string_view strBytes);
    void Reset() { m_strLine.clear(); }

private:
    std::string m_strLine; // the bytes of the line not yet ended, at most a few
};

// One command of a script, as the file has it and as it goes out.
struct CConsoleScriptLine
{
    int nLine = 0; // from 1
    std::string strTyped;
    CConsoleCommand command;
};

// A script file's commands, or why it cannot run (naming the line of a refused command).
struct CConsoleScript
{
    bool bOk = false;
    std::string strError;
    int nErrorLine = 0; // the refused command's line; 0 when the file itself is refused
    std::vector<CConsoleScriptLine> lines;
};

// One command per line (CR LF or LF); blank lines and lines whose first non-blank is "#" are
// skipped; a UTF-8 byte-order mark at the start is dropped. Every command is checked as if typed,
// so a bad line refuses the whole script before anything is sent.
CConsoleScript ParseConsoleScript(std::string_view strText, EConsoleEol eEol);
// The same from a file, refused unread when it is larger than a configuration file may be.
CConsoleScript LoadConsoleScript(const std::string &strPath, EConsoleEol eEol);
