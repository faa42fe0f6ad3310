#pragma once

#include "cli/CliOptions.h"
#include "cli/Send.h"
#include "engine/ModuleParams.h"
#include "engine/SessionLink.h"
#include "serial/LinkTrace.h"

#include <functional>
#include <mutex>
#include <string>
#include <vector>

// What one port's work came to.
struct CPortReport
{
    std::string strPort;
    int nExitCode = EXIT_CLI_OK;
    std::string strStatus; // the last status text (UTF-8)
    std::string strError;  // why it failed, for stderr (UTF-8)
    std::string strEnd;    // how the last action ended, language-free (RunEndName)
    ModuleParams params;   // last read from (or queued for) the module, GBK
    std::string strLocalAddr;
    std::vector<std::string> lines;   // set: the lines sent, or with --dry-run would be
    std::vector<std::string> devices; // search: "ADDRESS TEXT" entries as found, GBK
    std::vector<CSendResult> sent;    // send: each command sent, in order
    uint32_t nLineRate = 0;           // probe, --line-rate auto: the rate that answered; 0 none
    bool bNoRateAnswered = false;     // the probe found no rate (its checklist is due)
};

// Runs one command-line action on one port with the window's own engine, values in and out: the
// same commands, timeouts, checks and change detection as the window. The owner's thread runs the
// engine; the link's reader only hands bytes over.
class CPortSession
{
public:
    // Called on the session's thread for each message box (UTF-8) and each device found.
    using MessageSink = std::function<void(const std::string &strPort, const std::string &strText)>;

    // options.set texts must already be GBK.
    CPortSession(std::string strPort, const CliOptions &options);

    void SetMessageSink(MessageSink fnSink) { m_fnMessages = std::move(fnSink); }
    void SetDeviceSink(MessageSink fnSink) { m_fnDevices = std::move(fnSink); }
    // send: each line of its text output as it comes (UTF-8), on the session's thread.
    void SetReplySink(MessageSink fnSink) { m_fnReplies = std::move(fnSink); }
    // Every write and every received chunk of the port, as it happens; on the session's thread
    // for writes and on the link's reader thread for chunks, never two at once. Sessions given
    // the same pOrderLock tell their entries in one time order.
    using TraceSink = std::function<void(const std::string &strPort, const CTraceEntry &entry)>;
    void SetTraceSink(TraceSink fnSink, std::mutex *pOrderLock)
    {
        m_fnTrace = std::move(fnSink);
        m_pTraceOrder = pOrderLock;
    }

    CPortReport Run();

private:
    std::string m_strPort;
    CliOptions m_options;
    MessageSink m_fnMessages;
    MessageSink m_fnDevices;
    MessageSink m_fnReplies;
    TraceSink m_fnTrace;
    std::mutex *m_pTraceOrder = nullptr;
};

struct CVerifyMismatch;

// "name asked "Office 1", read "CORVA3264"; ..." for every parameter a module does not hold as
// asked.
std::string DescribeMismatches(const std::vector<CVerifyMismatch> &mismatches);

// Why a port could not be opened, with what to do about it: the programs that hold a busy port,
// the log-in a refused user still owes. In English, as the command line's own messages are.
std::string DescribeOpenError(const std::string &strPort, const COpenFailureInfo &failure);
