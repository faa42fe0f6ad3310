// Set: the checks of the form, the SetCommandList with its change detection, and the bookkeeping
// that takes back the last-read values of lines the module never confirmed.
#include "dialog/ParameterWrite.h"

#include "dialog/ModuleSetupEngine.h"
#include "dialog/UiText.h"
#include "protocol/AtProtocol.h"

#include <cassert>
#include <cstdio>
#include <cstring>

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

const char *CheckLists(const CSetFormInput &input, ModuleParams *pNew)
{
    pNew->Baud = input.m_strBaud;
    pNew->Parity = input.m_nParity;
    pNew->StopBits = input.m_nStopBits;
    pNew->Role = input.m_nRole;
    pNew->Bind = input.m_nBind;
    pNew->Auth = input.m_nAuth;
    if (pNew->Baud.empty())
        return KESTREL_TR_NOOP("Engine", "请选择合适的波特率");
    // -1 is a list with no selection at all (before the form was first cleared): no valid index.
    if (pNew->Parity < 0 || pNew->Parity > 2)
        return KESTREL_TR_NOOP("Engine", "请选择合适的校验位");
    if (pNew->StopBits < 0 || pNew->StopBits > 1)
        return KESTREL_TR_NOOP("Engine", "请选择合适的停止位");
    return nullptr;
}

const char *CheckNameAndClass(CSetFormInput &input, ModuleParams *pNew)
{
    TrimInPlace(input.m_strName);
    if (input.m_strName.empty())
        return KESTREL_TR_NOOP("Engine", "名称不能为空");
    if (HasControlByte(input.m_strName))
        return KESTREL_TR_NOOP("Engine", "名称不能包含控制字符");
    // The form caps the name; a caller without the form must not overflow the command slot.
    if (input.m_strName.size() > NAME_MAX_BYTES)
        return KESTREL_TR_NOOP("Engine", "名称长度不能超过20");
    pNew->Name = input.m_strName;
    TrimInPlace(input.m_strClass);
    if (input.m_strClass.empty())
        return KESTREL_TR_NOOP("Engine", "类别码不能为空");
    if (HasControlByte(input.m_strClass))
        return KESTREL_TR_NOOP("Engine", "类别码不能包含控制字符");
    if (input.m_strClass.size() != CLASS_BYTES)
        return KESTREL_TR_NOOP("Engine", "类别码长度必须为6");
    pNew->Class = input.m_strClass;
    return nullptr;
}

const char *CheckPasswordAndAddress(CSetFormInput &input, ModuleParams *pNew)
{
    TrimInPlace(input.m_strPassword);
    if (HasControlByte(input.m_strPassword))
        return KESTREL_TR_NOOP("Engine", "密码不能包含控制字符");
    if (input.m_strPassword.size() > PASSWORD_MAX_BYTES)
        return KESTREL_TR_NOOP("Engine", "密码长度不能超过16");
    pNew->Password = input.m_strPassword;
    TrimInPlace(input.m_strBindAddr);
    // A found device reads "address name": the address is what the first 12 bytes hold.
    pNew->BindAddr = input.m_strBindAddr.substr(0, BLUETOOTH_ADDRESS_LENGTH);
    if (!pNew->BindAddr.empty() && pNew->BindAddr.size() != BLUETOOTH_ADDRESS_LENGTH)
        return KESTREL_TR_NOOP("Engine", "绑定的蓝牙地址格式不正确");
    if (HasControlByte(pNew->BindAddr))
        return KESTREL_TR_NOOP("Engine", "绑定的蓝牙地址不能包含控制字符");
    return nullptr;
}

const char *CheckNumbers(const CSetFormInput &input, ModuleParams *pNew)
{
    if (input.m_nConnDuration > input.m_nConnInterval)
        return KESTREL_TR_NOOP("Engine", "连接持续时间不能大于连接间隔时间");
    if (input.m_nInqDuration > input.m_nInqInterval)
        return KESTREL_TR_NOOP("Engine", "查询持续时间不能大于查询间隔时间");
    pNew->ConnInterval = DecimalText(input.m_nConnInterval);
    pNew->ConnDuration = DecimalText(input.m_nConnDuration);
    pNew->InqInterval = DecimalText(input.m_nInqInterval);
    pNew->InqDuration = DecimalText(input.m_nInqDuration);
    if (input.m_nSniffMin > input.m_nSniffMax)
        return KESTREL_TR_NOOP("Engine", "Sniff最小值不能大于最大值");
    pNew->SniffAttempt = DecimalText(input.m_nSniffAttempt);
    pNew->SniffMax = DecimalText(input.m_nSniffMax);
    pNew->SniffMin = DecimalText(input.m_nSniffMin);
    pNew->SniffTimeout = DecimalText(input.m_nSniffTimeout);
    return nullptr;
}

// "a,b,c,d": how a group of four numbers is compared and sent.
std::string FourNumbersText(const std::string &a, const std::string &b, const std::string &c,
                            const std::string &d)
{
    char szText[SET_COMMAND_SLOT_SIZE];
    std::snprintf(szText, sizeof szText, FMT_FOUR_NUMBERS, a.c_str(), b.c_str(), c.c_str(),
                  d.c_str());
    return szText;
}

std::string ScanText(const ModuleParams &params)
{
    return FourNumbersText(params.ConnInterval, params.ConnDuration, params.InqInterval,
                           params.InqDuration);
}

std::string SniffText(const ModuleParams &params)
{
    return FourNumbersText(params.SniffMax, params.SniffMin, params.SniffAttempt,
                           params.SniffTimeout);
}

// Appends formatted lines to the list and notes which last-read fields each line advanced.
class CSetListWriter
{
public:
    CSetListWriter(char (*list)[SET_COMMAND_SLOT_SIZE], CSetRunBook *pBook)
        : m_list(list), m_pBook(pBook)
    {}

    template <typename... Args> void Append(uint32_t nFields, const char *pFormat, Args... args)
    {
        assert(m_nCount < SET_COMMAND_SLOTS);
        if (m_nCount >= SET_COMMAND_SLOTS)
            return;
        int nLength = std::snprintf(m_list[m_nCount], SET_COMMAND_SLOT_SIZE, pFormat, args...);
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

void AppendBasicRows(const ModuleParams &snew, ModuleParams &cur, CSetListWriter &writer)
{
    if (snew.Name != cur.Name) {
        writer.Append(CSetRunBook::FIELD_NAME, CMD_SET_NAME, snew.Name.c_str());
        cur.Name = snew.Name;
    }
    if (snew.Class != cur.Class) {
        writer.Append(CSetRunBook::FIELD_CLASS, CMD_SET_CLASS, snew.Class.c_str());
        cur.Class = snew.Class;
    }
    if (snew.Baud != cur.Baud) {
        writer.Append(CSetRunBook::FIELD_BAUD, CMD_SET_BAUD, snew.Baud.c_str());
        cur.Baud = snew.Baud;
    }
    // The module takes and reports the stop bits before the parity.
    if (snew.StopBits != cur.StopBits || snew.Parity != cur.Parity) {
        writer.Append(CSetRunBook::FIELD_STOPBITS | CSetRunBook::FIELD_PARITY, CMD_SET_UARTMODE,
                      snew.StopBits, snew.Parity);
        cur.StopBits = snew.StopBits;
        cur.Parity = snew.Parity;
    }
    if (snew.Role != cur.Role) {
        writer.Append(CSetRunBook::FIELD_ROLE, CMD_SET_ROLE, snew.Role);
        cur.Role = snew.Role;
    }
}

void AppendBindingRows(const ModuleParams &snew, ModuleParams &cur, CSetListWriter &writer)
{
    if (snew.Bind != cur.Bind) {
        writer.Append(CSetRunBook::FIELD_BIND, CMD_SET_BIND, snew.Bind);
        cur.Bind = snew.Bind;
    }
    // Without binding the module must forget any address, whatever it reported.
    if (snew.Bind == 0)
        writer.Append(0, "%s", CMD_CLEARADDR);
    if (snew.Auth != cur.Auth) {
        writer.Append(CSetRunBook::FIELD_AUTH, CMD_SET_AUTH, snew.Auth);
        cur.Auth = snew.Auth;
    }
    if (snew.Auth != 0 && !snew.Password.empty() && snew.Password != cur.Password) {
        writer.Append(CSetRunBook::FIELD_PASSWORD, CMD_SET_PASSWORD, snew.Password.c_str());
        cur.Password = snew.Password;
    }
}

void AppendTimingRows(const ModuleParams &snew, ModuleParams &cur, CSetListWriter &writer)
{
    const std::string strNewScan = ScanText(snew);
    if (strNewScan != ScanText(cur)) {
        writer.Append(CSetRunBook::FIELD_SCAN, CMD_SET_SCANTIME, strNewScan.c_str());
        cur.ConnInterval = snew.ConnInterval;
        cur.ConnDuration = snew.ConnDuration;
        cur.InqInterval = snew.InqInterval;
        cur.InqDuration = snew.InqDuration;
    }
    const std::string strNewSniff = SniffText(snew);
    if (strNewSniff != SniffText(cur)) {
        writer.Append(CSetRunBook::FIELD_SNIFF, CMD_SET_SNIFF, strNewSniff.c_str());
        cur.SniffMax = snew.SniffMax;
        cur.SniffMin = snew.SniffMin;
        cur.SniffAttempt = snew.SniffAttempt;
        cur.SniffTimeout = snew.SniffTimeout;
    }
    // The bound address is only ever learnt from the module, so the next Set sends it again
    // until a reading confirms it.
    if (snew.Bind != 0 && snew.BindAddr != cur.BindAddr) {
        if (snew.BindAddr.empty())
            writer.Append(0, "%s", CMD_CLEARADDR);
        else
            writer.Append(0, CMD_SET_RADDR, snew.BindAddr.c_str());
    }
}

// The last-read fields by the bit a set line records for them.
struct CTextFieldBit
{
    uint32_t nBit;
    std::string ModuleParams::*pField;
};
struct CIntFieldBit
{
    uint32_t nBit;
    int32_t ModuleParams::*pField;
};

constexpr CTextFieldBit kTextFieldBits[] = {
    {CSetRunBook::FIELD_NAME, &ModuleParams::Name},
    {CSetRunBook::FIELD_CLASS, &ModuleParams::Class},
    {CSetRunBook::FIELD_BAUD, &ModuleParams::Baud},
    {CSetRunBook::FIELD_PASSWORD, &ModuleParams::Password},
    {CSetRunBook::FIELD_SCAN, &ModuleParams::ConnInterval},
    {CSetRunBook::FIELD_SCAN, &ModuleParams::ConnDuration},
    {CSetRunBook::FIELD_SCAN, &ModuleParams::InqInterval},
    {CSetRunBook::FIELD_SCAN, &ModuleParams::InqDuration},
    {CSetRunBook::FIELD_SNIFF, &ModuleParams::SniffMax},
    {CSetRunBook::FIELD_SNIFF, &ModuleParams::SniffMin},
    {CSetRunBook::FIELD_SNIFF, &ModuleParams::SniffAttempt},
    {CSetRunBook::FIELD_SNIFF, &ModuleParams::SniffTimeout},
};

constexpr CIntFieldBit kIntFieldBits[] = {
    {CSetRunBook::FIELD_STOPBITS, &ModuleParams::StopBits},
    {CSetRunBook::FIELD_PARITY, &ModuleParams::Parity},
    {CSetRunBook::FIELD_ROLE, &ModuleParams::Role},
    {CSetRunBook::FIELD_BIND, &ModuleParams::Bind},
    {CSetRunBook::FIELD_AUTH, &ModuleParams::Auth},
};

// Copies the fields of one line from 'from' to 'to'.
void CopyLineFields(uint32_t nFields, const ModuleParams &from, ModuleParams &to)
{
    for (const CTextFieldBit &field : kTextFieldBits) {
        if (nFields & field.nBit)
            to.*field.pField = from.*field.pField;
    }
    for (const CIntFieldBit &field : kIntFieldBits) {
        if (nFields & field.nBit)
            to.*field.pField = from.*field.pField;
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

const char *CheckSetForm(CSetFormInput &input, ModuleParams *pNew)
{
    if (const char *pMessage = CheckLists(input, pNew))
        return pMessage;
    if (const char *pMessage = CheckNameAndClass(input, pNew))
        return pMessage;
    if (const char *pMessage = CheckPasswordAndAddress(input, pNew))
        return pMessage;
    return CheckNumbers(input, pNew);
}

int32_t BuildSetCommandList(const ModuleParams &snapshot, ModuleParams *pCur, char list[11][128],
                            int32_t *pCount, CSetRunBook *pBook)
{
    if (pBook)
        pBook->m_paramsBefore = *pCur;
    CSetListWriter writer(list, pBook);
    AppendBasicRows(snapshot, *pCur, writer);
    AppendBindingRows(snapshot, *pCur, writer);
    AppendTimingRows(snapshot, *pCur, writer);
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

namespace {

CSetFormInput ReadSetInput(CModuleSetupEngine &engine)
{
    CSetFormInput input;
    input.m_strName = engine.m_strName;
    input.m_strClass = engine.m_strClass;
    input.m_strPassword = engine.m_strPassword;
    input.m_strBindAddr = engine.m_strBindAddr;
    input.m_nConnInterval = engine.m_nConnInterval;
    input.m_nConnDuration = engine.m_nConnDuration;
    input.m_nInqInterval = engine.m_nInqInterval;
    input.m_nInqDuration = engine.m_nInqDuration;
    input.m_nSniffMax = engine.m_nSniffMax;
    input.m_nSniffMin = engine.m_nSniffMin;
    input.m_nSniffTimeout = engine.m_nSniffTimeout;
    input.m_nSniffAttempt = engine.m_nSniffAttempt;
    input.m_nRole = engine.GetCheck(IDC_CHECK_ROLE);
    input.m_nBind = engine.GetCheck(IDC_CHECK_BIND);
    input.m_nAuth = engine.GetCheck(IDC_CHECK_AUTH);
    input.m_strBaud = engine.GetWindowText(IDC_COMBO_BAUD);
    input.m_nParity = engine.GetCurSel(IDC_COMBO_PARITY);
    input.m_nStopBits = engine.GetCurSel(IDC_COMBO_STOPBITS);
    return input;
}

// Checks the form just read into the members and fills the snapshot; a failure is shown in its
// message box. What the checks trimmed stays trimmed in the members (the controls keep their
// text until the form is next written).
bool CheckSetAction(CModuleSetupEngine &engine)
{
    CSetFormInput input = ReadSetInput(engine);
    const char *pMessage = CheckSetForm(input, &engine.m_paramsNew);
    engine.m_strName = input.m_strName;
    engine.m_strClass = input.m_strClass;
    engine.m_strPassword = input.m_strPassword;
    engine.m_strBindAddr = input.m_strBindAddr;
    if (pMessage)
        engine.MessageBox(Tr("Engine", pMessage), Tr("Engine", "提示"), MB_ICONHAND);
    return pMessage == nullptr;
}

} // namespace

void CModuleSetupEngine::OnButtonSet()
{
    if (RefuseWhileRunWaits(ERunKind::Set))
        return;
    if (!IsPortOpen()) {
        ReportRunEnd({ERunKind::Set, ERunEnd::NoPort});
        return;
    }
    if (!UpdateData(true) || !CheckSetAction(*this)) {
        ReportRunEnd({ERunKind::Set, ERunEnd::FormRefused});
        return;
    }
    // Lines of an earlier run that were never confirmed give back their last-read values first,
    // so they are queued again (a no-op when that run's end already settled them).
    OnSetRunEnded();
    BuildSetCommandList(m_paramsNew, &m_paramsCur, m_SetCommandList, &m_nSetCommandCount,
                        &m_setRunBook);
    SetStatusText(Tr("Engine", "正在设置参数..."));
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
