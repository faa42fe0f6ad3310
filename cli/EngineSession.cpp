#include "cli/EngineSession.h"

#include "engine/FormValues.h"
#include "engine/UiText.h"

#include <algorithm>

int CCliView::MessageBox(const std::string &strText, const std::string &, unsigned nType)
{
    const bool bPrompt = (nType & MB_YESNO) != 0;
    const int nResult = !bPrompt ? IDOK : m_bContinueOnError ? IDYES : IDNO;
    if (m_fnShown) {
        const char *pAnswer = nResult == IDYES ? Tr("Cli", "是") : Tr("Cli", "否");
        m_fnShown(bPrompt ? strText + " " + pAnswer : strText);
    }
    return nResult;
}

void CCliView::SetTimer(unsigned nIdEvent, std::chrono::milliseconds period)
{
    // The probe waits for bytes on the wire: shortened, it would miss answers.
    const double dScale = nIdEvent == TIMER_PROBE ? 1.0 : m_dTimerScale;
    const auto scaled = std::chrono::duration_cast<std::chrono::milliseconds>(period * dScale);
    m_timers[nIdEvent] = Clock::now() + std::max(scaled, std::chrono::milliseconds(1));
}

void CCliView::PostToViewThread(std::function<void()> fnWork)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_posted.push_back(std::move(fnWork));
    }
    m_changed.notify_one();
}

bool CCliView::RunUntil(const std::function<bool()> &fnDone, Clock::time_point deadline)
{
    while (!fnDone()) {
        RunPosted();
        FireDueTimers();
        if (fnDone())
            return true;
        if (Clock::now() >= deadline)
            return false;
        Wait(deadline);
    }
    return true;
}

const CRunEnd *CCliView::EndSince(size_t nFrom, ERunKind eRun) const
{
    for (size_t i = m_runEnds.size(); i > nFrom; --i) {
        if (m_runEnds[i - 1].eRun == eRun)
            return &m_runEnds[i - 1];
    }
    return nullptr;
}

void CCliView::RunPosted()
{
    std::deque<std::function<void()>> posted;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        posted.swap(m_posted);
    }
    for (const std::function<void()> &fnWork : posted)
        fnWork();
}

void CCliView::FireDueTimers()
{
    // Earliest first; each fires once and is gone, as the engine uses them.
    while (true) {
        const auto due =
            std::min_element(m_timers.begin(), m_timers.end(),
                             [](const auto &a, const auto &b) { return a.second < b.second; });
        if (due == m_timers.end() || due->second > Clock::now())
            return;
        const unsigned nIdEvent = due->first;
        m_timers.erase(due);
        m_pEngine->OnTimer(nIdEvent);
    }
}

void CCliView::Wait(Clock::time_point deadline)
{
    Clock::time_point until = deadline;
    for (const auto &[nId, timerDeadline] : m_timers)
        until = std::min(until, timerDeadline);
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait_until(lock, until, [this] { return !m_posted.empty(); });
}

CEngineSession::CEngineSession(const CSetup &setup)
    : m_view(setup.dTimerScale, setup.bContinueOnError), m_engine(m_view, setup.trace)
{
    m_view.Attach(m_engine);
    m_engine.SetProbeChecklistShown(false); // the command line prints it once for all ports
}

CEngineSession::~CEngineSession()
{
    m_engine.CloseSession();
}

bool CEngineSession::Open(const std::string &strPort, const CLineSettings &line)
{
    return m_engine.OpenSession(strPort, line);
}

bool CEngineSession::RunUntil(const std::function<bool()> &fnDone, Clock::time_point deadline)
{
    return m_view.RunUntil(fnDone, deadline);
}

std::optional<CRunEnd> CEngineSession::RunAction(const std::function<void()> &fnStart,
                                                 ERunKind eRun, Clock::time_point deadline)
{
    const size_t nEnds = m_view.m_runEnds.size();
    m_nWritesBefore = m_view.m_written.size();
    fnStart();
    // The engine ends what waits when the port goes; an action that waits for nothing (a
    // search) ends there too.
    RunUntil([&] { return m_view.EndSince(nEnds, eRun) != nullptr || Lost(); }, deadline);
    const CRunEnd *pEnd = m_view.EndSince(nEnds, eRun);
    return pEnd ? std::optional<CRunEnd>(*pEnd) : std::nullopt;
}

std::optional<CRunEnd> CEngineSession::Query()
{
    return RunAction([this] { m_engine.OnButtonQuery(); }, ERunKind::Query);
}

std::optional<CRunEnd> CEngineSession::QueryAfresh()
{
    m_engine.ForgetLastRead();
    return Query();
}

std::vector<CVerifyMismatch> CEngineSession::MismatchesWith(const CSetValues &asked)
{
    return CompareAskedWithRead(asked, m_engine.Snapshot(), m_engine.LastRead());
}

void CEngineSession::TraceTo(
    std::string strPort,
    std::function<void(const std::string &strPort, const CTraceEntry &entry)> fnTrace)
{
    m_engine.SessionTrace().SetListener(
        [strPort = std::move(strPort), fnTrace = std::move(fnTrace)](const CTraceEntry &entry) {
            fnTrace(strPort, entry);
        });
    m_engine.SessionTrace().SetListening(true);
}

std::optional<CRunEnd> CEngineSession::Set(const CSetValues &request)
{
    return RunAction([&] { m_engine.StartSet(request); }, ERunKind::Set);
}

uint32_t CEngineSession::Probe()
{
    m_view.m_bProbeEnded = false;
    m_nWritesBefore = m_view.m_written.size();
    if (!m_engine.StartLineProbe())
        return 0;
    RunUntil([this] { return m_view.m_bProbeEnded || Lost(); });
    return m_view.m_bProbeEnded ? m_view.m_nProbedRate : 0;
}

void CEngineSession::AwaitLateReplies()
{
    // The engine's own window restarts with every byte: a line that never falls quiet is cut off.
    RunUntil([this] { return !m_engine.OwesLateReply() || Lost(); },
             Clock::now() + kLateReplyWindow);
}

std::vector<std::string> CEngineSession::WrittenByLastAction() const
{
    return {m_view.m_written.begin() + static_cast<std::ptrdiff_t>(m_nWritesBefore),
            m_view.m_written.end()};
}
