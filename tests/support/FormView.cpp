#include "tests/support/FormView.h"

#include <algorithm>

CFormModel::CFormModel()
{
    // The start states the dialog's resources give.
    for (int nId : {IDC_EDIT_VERSION, IDC_EDIT_PASSWORD, IDC_EDIT_LOCALADDR})
        m_controls[nId].bReadOnly = true;
    m_controls[IDC_COMBO_BINDADDR].bEnabled = false;
}

const CFormControl &CFormModel::Control(int nId) const
{
    static const CFormControl s_absent;
    const auto it = m_controls.find(nId);
    return it == m_controls.end() ? s_absent : it->second;
}

// The lists whose text is always one of their entries.
bool CFormModel::IsDropDownList(int nId)
{
    return nId == IDC_COMBO_BAUD || nId == IDC_COMBO_PARITY || nId == IDC_COMBO_STOPBITS;
}

std::string CFormModel::GetWindowText(int nId) const
{
    const CFormControl &control = Control(nId);
    if (!IsDropDownList(nId))
        return control.strText;
    const bool bSelected =
        control.nCurSel >= 0 && control.nCurSel < static_cast<int>(control.entries.size());
    return bSelected ? control.entries[static_cast<size_t>(control.nCurSel)] : std::string();
}

void CFormModel::SetWindowText(int nId, const std::string &strText)
{
    // A drop-down list has no text of its own to set.
    if (!IsDropDownList(nId))
        m_controls[nId].strText = strText;
}

int CFormModel::GetCount(int nId) const
{
    return static_cast<int>(Control(nId).entries.size());
}

std::string CFormModel::GetLBText(int nId, int nIndex) const
{
    const CFormControl &control = Control(nId);
    if (nIndex < 0 || nIndex >= static_cast<int>(control.entries.size()))
        return {};
    return control.entries[static_cast<size_t>(nIndex)];
}

// An index outside the list clears the selection, as the combo box does.
void CFormModel::SetCurSel(int nId, int nIndex)
{
    CFormControl &control = m_controls[nId];
    const bool bValid = nIndex >= 0 && nIndex < static_cast<int>(control.entries.size());
    control.nCurSel = bValid ? nIndex : -1;
    if (bValid && !IsDropDownList(nId))
        control.strText = control.entries[static_cast<size_t>(nIndex)];
}

void CFormModel::ResetContent(int nId)
{
    CFormControl &control = m_controls[nId];
    control.entries.clear();
    control.nCurSel = -1;
    control.strText.clear();
}

// -1 appends; otherwise the entry goes before nIndex (the list is not sorted by insertion).
void CFormModel::InsertString(int nId, int nIndex, const std::string &strText)
{
    CFormControl &control = m_controls[nId];
    const int nCount = static_cast<int>(control.entries.size());
    if (nIndex < 0 || nIndex > nCount)
        nIndex = nCount;
    control.entries.insert(control.entries.begin() + nIndex, strText);
    if (control.nCurSel >= nIndex)
        ++control.nCurSel;
}

void CFormModel::SetSliderPos(int nId, int nPos)
{
    CFormControl &control = m_controls[nId];
    control.nSliderPos = std::clamp(nPos, 0, control.nSliderRangeMax);
}

CFormView::CFormView(std::function<Clock::time_point()> fnNow) : m_fnNow(std::move(fnNow)) {}

void CFormView::SetWindowText(int nId, const std::string &strText)
{
    m_form.SetWindowText(nId, strText);
}

void CFormView::InsertString(int nId, int nIndex, const std::string &strText)
{
    m_form.InsertString(nId, nIndex, strText);
}

void CFormView::SetReadOnly(int nId, bool bReadOnly)
{
    m_form.Control(nId).bReadOnly = bReadOnly;
}

void CFormView::SetStatusText(const std::string &strText)
{
    m_form.m_strStatusText = strText;
    m_statusTexts.push_back(strText);
}

// Arming an armed timer starts its period again.
void CFormView::SetTimer(unsigned nIdEvent, std::chrono::milliseconds period)
{
    m_timers[nIdEvent] = CArmedTimer{m_fnNow() + period, period};
}

void CFormView::PostToViewThread(std::function<void()> fnWork)
{
    m_posted.push_back(std::move(fnWork));
}

size_t CFormView::RunPosted()
{
    size_t nRan = 0;
    while (!m_posted.empty()) {
        const std::function<void()> fnWork = std::move(m_posted.front());
        m_posted.pop_front();
        fnWork();
        ++nRan;
    }
    return nRan;
}

void CFormView::ClickCheck(int nId, bool bChecked)
{
    m_form.Control(nId).nCheck = bChecked;
    if (m_pEngine)
        m_pEngine->OnCommand(nId);
}

int CFormView::MessageBox(const std::string &strText, const std::string &strCaption,
                          unsigned nType)
{
    // Recorded before it is answered, so boxes opened while it is open come after it.
    const size_t nRecord = m_messageBoxes.size();
    m_messageBoxes.push_back(CMessageRecord{strText, strCaption, nType, 0});
    const int nResult = m_fnMessagePolicy ? m_fnMessagePolicy(strText, strCaption, nType) : IDNO;
    m_messageBoxes[nRecord].nResult = nResult;
    return nResult;
}

// Like a window timer, a timer repeats until killed; the engine kills each one that fires.
int CFormView::FireDueTimers(Clock::time_point now)
{
    std::vector<std::pair<Clock::time_point, unsigned>> due;
    for (const auto &[nId, timer] : m_timers) {
        if (timer.deadline <= now)
            due.emplace_back(timer.deadline, nId);
    }
    std::sort(due.begin(), due.end());
    int nFired = 0;
    for (const auto &[deadline, nId] : due) {
        // An earlier handler may have killed or re-armed it: a killed timer never fires.
        const auto it = m_timers.find(nId);
        if (it == m_timers.end() || it->second.deadline != deadline)
            continue;
        // Missed periods are not made up.
        it->second.deadline = now + it->second.period;
        ++nFired;
        if (m_pEngine)
            m_pEngine->OnTimer(nId);
    }
    return nFired;
}

std::optional<CFormView::Clock::time_point>
CFormView::NextDeadline(std::initializer_list<unsigned> ignored) const
{
    std::optional<Clock::time_point> next;
    for (const auto &[nId, timer] : m_timers) {
        if (std::find(ignored.begin(), ignored.end(), nId) != ignored.end())
            continue;
        if (!next || timer.deadline < *next)
            next = timer.deadline;
    }
    return next;
}
