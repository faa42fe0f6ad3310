// Set: the checks of the form, the SetCommandList with its change detection, and the bookkeeping
// that takes back the last-read values of lines the module never confirmed.
#include "engine/ParameterWrite.h"

#include "engine/FormValues.h"
#include "engine/ModuleSetupEngine.h"
#include "engine/ParamTable.h"
#include "engine/UiText.h"
#include "protocol/AtProtocol.h"

#include <algorithm>
#include <cassert>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <vector>

static_assert(SET_COMMAND_SLOTS == 11 && SET_COMMAND_SLOT_SIZE == 128,
              "the list shape of ParameterWrite.h must match the engine's");

namespace {

// The white space that trimming removes; GBK trail bytes (0x40 and up) never fall in it.
bool IsTrimSpace(unsigned char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

void TrimInPlace(std::string &str)
{
    size_t nEnd = str.size();
    while (nEnd > 0 && IsTrimSpace(static_cast<unsigned char>(str[nEnd - 1])))
        --nEnd;
    size_t nBegin = 0;
    while (nBegin < nEnd && IsTrimSpace(static_cast<unsigned char>(str[nBegin])))
        ++nBegin;
    str = str.substr(nBegin, nEnd - nBegin);
}

// A CR, LF or NUL inside a value would end the command early and start another one on the wire.
// No GBK byte of a double-byte character is below 0x40 or equal to 0x7F.
bool HasControlByte(const std::string &str)
{
    for (unsigned char c : str) {
        if (c < 0x20 || c == 0x7F)
            return true;
    }
    return false;
}

// The numbers are unsigned; "%d" would print the Sniff values above INT_MAX as negative numbers
// that the module never reports, so they are written as unsigned decimals.
std::string DecimalText(uint32_t nValue)
{
    char szText[16];
    std::snprintf(szText, sizeof szText, "%u", nValue);
    return szText;
}

CUiSource CheckLists(const CSetFormInput &input, ModuleParams *pNew)
{
    pNew->Baud = input.Baud;
    pNew->Parity = input.Parity;
    pNew->StopBits = input.StopBits;
    pNew->Role = input.Role;
    pNew->Bind = input.Bind;
    pNew->Auth = input.Auth;
    if (pNew->Baud.empty())
        return KESTREL_TR_NOOP("Engine", "请选择合适的波特率");
    // -1 is a list with no selection at all (before the form was first cleared): no valid index.
    if (pNew->Parity < 0 || pNew->Parity > 2)
        return KESTREL_TR_NOOP("Engine", "请选择合适的校验位");
    if (pNew->StopBits < 0 || pNew->StopBits > 1)
        return KESTREL_TR_NOOP("Engine", "请选择合适的停止位");
    return {};
}

// The checks of one text, in their order: blank, control bytes, length (the parameter table's
// byte limit; the class must have exactly that many bytes).
struct CTextCheck
{
    std::string ModuleParams::*pField;
    CUiSource blank; // null: may stay empty
    CUiSource control;
    CUiSource length;
    bool bExactLength;
};

// The form caps the name; a caller without the form must not overflow the command slot.
const CTextCheck kTextChecks[] = {
    {&ModuleParams::Name, KESTREL_TR_NOOP("Engine", "名称不能为空"),
     KESTREL_TR_NOOP("Engine", "名称不能包含控制字符"),
     KESTREL_TR_NOOP("Engine", "名称长度不能超过20"), false},
    {&ModuleParams::Class, KESTREL_TR_NOOP("Engine", "类别码不能为空"),
     KESTREL_TR_NOOP("Engine", "类别码不能包含控制字符"),
     KESTREL_TR_NOOP("Engine", "类别码长度必须为6"), true},
    {&ModuleParams::Password, {}, KESTREL_TR_NOOP("Engine", "密码不能包含控制字符"),
     KESTREL_TR_NOOP("Engine", "密码长度不能超过16"), false},
};

CUiSource CheckTexts(CSetFormInput &input, ModuleParams *pNew)
{
    for (const CTextCheck &check : kTextChecks) {
        std::string &strText = input.*check.pField;
        TrimInPlace(strText);
        if (check.blank.pText && strText.empty())
            return check.blank;
        if (HasControlByte(strText))
            return check.control;
        const size_t nLimit = ParamOf(check.pField).nMaxBytes;
        if (check.bExactLength ? strText.size() != nLimit : strText.size() > nLimit)
            return check.length;
        pNew->*check.pField = strText;
    }
    TrimInPlace(input.BindAddr);
    // A found device reads "address name": the address is what the first 12 bytes hold.
    pNew->BindAddr = input.BindAddr.substr(0, BLUETOOTH_ADDRESS_LENGTH);
    if (!pNew->BindAddr.empty() && pNew->BindAddr.size() != BLUETOOTH_ADDRESS_LENGTH)
        return KESTREL_TR_NOOP("Engine", "绑定的蓝牙地址格式不正确");
    if (HasControlByte(pNew->BindAddr))
        return KESTREL_TR_NOOP("Engine", "绑定的蓝牙地址不能包含控制字符");
    return {};
}

// A number of the form: its members give decimal digits that fit 32 bits; anything else is 0.
uint32_t FormNumber(const std::string &strText)
{
    uint32_t nValue = 0;
    const char *pEnd = strText.data() + strText.size();
    const auto [pStop, error] = std::from_chars(strText.data(), pEnd, nValue);
    return error == std::errc() && pStop == pEnd ? nValue : 0;
}

// The snapshot takes a group's numbers as unsigned decimals.
void TakeGroup(const CParamRow &group, const CSetFormInput &input, ModuleParams *pNew)
{
    for (const CParamMember &member : group.members)
        pNew->*member.pField = DecimalText(FormNumber(input.*member.pField));
}

CUiSource CheckNumbers(const CSetFormInput &input, ModuleParams *pNew)
{
    if (FormNumber(input.ConnDuration) > FormNumber(input.ConnInterval))
        return KESTREL_TR_NOOP("Engine", "连接持续时间不能大于连接间隔时间");
    if (FormNumber(input.InqDuration) > FormNumber(input.InqInterval))
        return KESTREL_TR_NOOP("Engine", "查询持续时间不能大于查询间隔时间");
    TakeGroup(ParamOf(&ModuleParams::ConnInterval), input, pNew);
    if (FormNumber(input.SniffMin) > FormNumber(input.SniffMax))
        return KESTREL_TR_NOOP("Engine", "Sniff最小值不能大于最大值");
    TakeGroup(ParamOf(&ModuleParams::SniffMax), input, pNew);
    return {};
}

// Appends formatted lines to the list and notes which last-read fields each line advanced.
class CSetListWriter
{
public:
    CSetListWriter(char (*list)[SET_COMMAND_SLOT_SIZE], CSetRunBook *pBook)
        : m_list(list), m_pBook(pBook)
    {}

    void Append(uint32_t nFields, const char *pFormat, const std::string &strValue)
    {
        assert(m_nCount < SET_COMMAND_SLOTS);
        if (m_nCount >= SET_COMMAND_SLOTS)
            return;
        int nLength =
            std::snprintf(m_list[m_nCount], SET_COMMAND_SLOT_SIZE, pFormat, strValue.c_str());
        assert(nLength > 0 && nLength < SET_COMMAND_SLOT_SIZE);
        (void)nLength;
        if (m_pBook) {
            m_pBook->m_lineFields[m_nCount] = nFields;
            m_pBook->m_lineConfirmed[m_nCount] = false;
        }
        ++m_nCount;
    }

    int32_t Count() const { return m_nCount; }

private:
    char (*m_list)[SET_COMMAND_SLOT_SIZE] = nullptr;
    CSetRunBook *m_pBook = nullptr;
    int32_t m_nCount = 0;
};

// The parameters that share one place of the list, in the order the line takes their values.
std::vector<const CParamRow *> LineParams(int nLine)
{
    std::vector<const CParamRow *> rows;
    for (const CParamRow &row : ParamTable) {
        if (row.nSetLine == nLine)
            rows.push_back(&row);
    }
    std::sort(rows.begin(), rows.end(),
              [](const CParamRow *a, const CParamRow *b) { return a->nSetArg < b->nSetArg; });
    return rows;
}

std::string LineValueText(const std::vector<const CParamRow *> &rows, const ModuleParams &params)
{
    std::string strText;
    for (size_t i = 0; i < rows.size(); ++i)
        strText += (i == 0 ? "" : ",") + ParamValueText(*rows[i], params);
    return strText;
}

// Queues the line of one place when its rule says so, advancing the last-read fields it sets.
void AppendLine(const std::vector<const CParamRow *> &rows, const ModuleParams &snew,
                ModuleParams &cur, CSetListWriter &writer)
{
    const CParamRow &first = *rows.front();
    const std::string strNew = LineValueText(rows, snew);
    bool bWrite = strNew != LineValueText(rows, cur);
    switch (first.eSetRule) {
    case ESetRule::WithAuth:
        bWrite = bWrite && snew.Auth != 0 && !snew.Password.empty();
        break;
    case ESetRule::WhileBinding:
        // The bound address is only ever learnt from the module, so the next Set sends it
        // again until a reading confirms it.
        if (bWrite && snew.Bind != 0) {
            if (strNew.empty())
                writer.Append(0, "%s", CMD_CLEARADDR);
            else
                writer.Append(0, first.pszSetCommand, strNew);
        }
        return;
    default:
        break;
    }
    if (bWrite) {
        uint32_t nFields = 0;
        for (const CParamRow *pRow : rows) {
            nFields |= ParamBit(*pRow);
            CopyParam(*pRow, snew, cur);
        }
        writer.Append(nFields, first.pszSetCommand, strNew);
    }
    // Without binding the module must forget any address, whatever it reported.
    if (first.eSetRule == ESetRule::IfChangedOrOff && snew.Bind == 0)
        writer.Append(0, "%s", CMD_CLEARADDR);
}

// Copies the fields of one line from 'from' to 'to'.
void CopyLineFields(uint32_t nFields, const ModuleParams &from, ModuleParams &to)
{
    for (const CParamRow &row : ParamTable) {
        if (nFields & ParamBit(row))
            CopyParam(row, from, to);
    }
}

// Whether the fields of one line still hold what the line queued.
bool LineFieldsUnchanged(uint32_t nFields, const ModuleParams &queued, const ModuleParams &cur)
{
    ModuleParams probe = cur;
    CopyLineFields(nFields, queued, probe);
    return probe == cur;
}

} // namespace

CUiSource CheckSetForm(CSetFormInput &input, ModuleParams *pNew)
{
    if (const CUiSource message = CheckLists(input, pNew); message.pText)
        return message;
    if (const CUiSource message = CheckTexts(input, pNew); message.pText)
        return message;
    return CheckNumbers(input, pNew);
}

int32_t BuildSetCommandList(const ModuleParams &snapshot, ModuleParams *pCur, char list[11][128],
                            int32_t *pCount, CSetRunBook *pBook)
{
    if (pBook)
        pBook->m_paramsBefore = *pCur;
    CSetListWriter writer(list, pBook);
    for (int nLine = 0; nLine < SET_LINE_KINDS; ++nLine) {
        if (const std::vector<const CParamRow *> rows = LineParams(nLine); !rows.empty())
            AppendLine(rows, snapshot, *pCur, writer);
    }
    if (pBook) {
        pBook->m_paramsQueued = *pCur;
        pBook->m_nLineCount = writer.Count();
    }
    *pCount = writer.Count();
    return writer.Count();
}

void ConfirmSetLine(CSetRunBook *pBook, int nIndex)
{
    if (nIndex >= 0 && nIndex < pBook->m_nLineCount)
        pBook->m_lineConfirmed[static_cast<size_t>(nIndex)] = true;
}

void EndSetRun(CSetRunBook *pBook, ModuleParams *pCur)
{
    for (int32_t i = 0; i < pBook->m_nLineCount; ++i) {
        const uint32_t nFields = pBook->m_lineFields[static_cast<size_t>(i)];
        if (pBook->m_lineConfirmed[static_cast<size_t>(i)] || nFields == 0)
            continue;
        if (LineFieldsUnchanged(nFields, pBook->m_paramsQueued, *pCur))
            CopyLineFields(nFields, pBook->m_paramsBefore, *pCur);
    }
    pBook->m_nLineCount = 0;
}

void CModuleSetupEngine::OnSetLineConfirmed(int nIndex)
{
    ConfirmSetLine(&m_setRunBook, nIndex);
}

void CModuleSetupEngine::OnSetRunEnded()
{
    EndSetRun(&m_setRunBook, &m_paramsCur);
}

void CModuleSetupEngine::OnButtonSet()
{
    if (RefuseToStart(ERunKind::Set))
        return;
    if (!UpdateData(true)) {
        ReportRunEnd({ERunKind::Set, ERunEnd::FormRefused});
        return;
    }
    // What the checks trimmed stays trimmed in the members (the controls keep their text until
    // the form is next written).
    CSetFormInput input = ReadFormRecord();
    const CUiSource message = CheckSetForm(input, &m_paramsNew);
    for (const CParamRow &row : ParamTable) {
        if (row.pFormText && row.pText)
            m_formValues.*row.pFormText = input.*row.pText;
    }
    if (message.pText) {
        m_view.MessageBox(Tr("Engine", message), Tr("Engine", "提示"), MB_ICONHAND);
        ReportRunEnd({ERunKind::Set, ERunEnd::FormRefused});
        return;
    }
    BeginSetRun();
}

void CModuleSetupEngine::StartSet(const CSetValues &request)
{
    if (RefuseToStart(ERunKind::Set))
        return;
    const std::string strRefusal = CheckSetValues(request, m_paramsNew);
    if (!strRefusal.empty()) {
        m_view.MessageBox(strRefusal, Tr("Engine", "提示"), MB_ICONHAND);
        ReportRunEnd({ERunKind::Set, ERunEnd::FormRefused});
        return;
    }
    BeginSetRun();
}

CSetPlan CModuleSetupEngine::PlanSet(const CSetValues &request) const
{
    CSetPlan plan;
    ModuleParams snapshot;
    plan.strRefusal = CheckSetValues(request, snapshot);
    if (!plan.strRefusal.empty())
        return plan;
    // As the next Set would: lines an earlier run never had confirmed go again.
    CSetRunBook book = m_setRunBook;
    ModuleParams cur = m_paramsCur;
    EndSetRun(&book, &cur);
    char list[SET_COMMAND_SLOTS][SET_COMMAND_SLOT_SIZE] = {};
    int32_t nCount = 0;
    BuildSetCommandList(snapshot, &cur, list, &nCount, nullptr);
    for (int32_t i = 0; i < nCount; ++i)
        plan.lines.emplace_back(list[i], strnlen(list[i], SET_COMMAND_SLOT_SIZE));
    return plan;
}

// A request names some parameters; the others stay as the module reported them, as the form
// shows them after a reading.
CSetFormInput CModuleSetupEngine::RequestInput(const CSetValues &request) const
{
    CSetFormInput input = m_paramsCur;
    for (const CParamRow &row : ParamTable) {
        if (request.Has(row))
            CopyParam(row, request.params, input);
    }
    return input;
}

void CModuleSetupEngine::BeginSetRun()
{
    // Lines of an earlier run that were never confirmed give back their last-read values first,
    // so they are queued again (a no-op when that run's end already settled them).
    OnSetRunEnded();
    BuildSetCommandList(m_paramsNew, &m_paramsCur, m_SetCommandList, &m_nSetCommandCount,
                        &m_setRunBook);
    m_view.SetStatusText(Tr("Engine", "正在设置参数..."));
    if (m_nSetCommandCount == 0) {
        ReportRunEnd({ERunKind::Set, ERunEnd::NothingToSend});
        return;
    }
    // Everything a reply looks at is in place before line 0 can be answered.
    m_nCmdIndex = 0;
    m_bSetting = 1;
    m_nSkipped = 0;
    ++m_nSetStep;
    m_nSetLineInFlight = 0;
    BeginWaiting(TIMER_SET, kSetStepTimeout);
    WriteCommand(m_SetCommandList[0]);
}
