#pragma once

#include "dialog/ModuleParams.h"

#include <array>
#include <cstdint>
#include <string>

// What the Set action takes from the form: the form members (GBK texts), the three check states,
// the text of the baud list and the selections of the parity and stop-bit lists.
struct CSetFormInput
{
    std::string m_strName;
    std::string m_strClass;
    std::string m_strPassword;
    std::string m_strBindAddr;
    uint32_t m_nConnInterval = 0;
    uint32_t m_nConnDuration = 0;
    uint32_t m_nInqInterval = 0;
    uint32_t m_nInqDuration = 0;
    uint32_t m_nSniffMax = 0;
    uint32_t m_nSniffMin = 0;
    uint32_t m_nSniffTimeout = 0;
    uint32_t m_nSniffAttempt = 0;
    int32_t m_nRole = 0;
    int32_t m_nBind = 0;
    int32_t m_nAuth = 0;
    std::string m_strBaud;
    int32_t m_nParity = -1;
    int32_t m_nStopBits = -1;
};

// Which last-read fields each queued set line advanced, and what they held before, so that the
// lines the module never confirmed can be taken back when the run ends.
struct CSetRunBook
{
    // One bit per last-read field a line may advance.
    enum : uint32_t {
        FIELD_NAME = 1u << 0,
        FIELD_CLASS = 1u << 1,
        FIELD_BAUD = 1u << 2,
        FIELD_STOPBITS = 1u << 3,
        FIELD_PARITY = 1u << 4,
        FIELD_ROLE = 1u << 5,
        FIELD_BIND = 1u << 6,
        FIELD_AUTH = 1u << 7,
        FIELD_PASSWORD = 1u << 8,
        FIELD_SCAN = 1u << 9,  // the four scan values together
        FIELD_SNIFF = 1u << 10 // the four Sniff values together
    };

    ModuleParams m_paramsBefore; // the last-read record before the list was built
    ModuleParams m_paramsQueued; // the same right after
    std::array<uint32_t, 11> m_lineFields = {};
    std::array<bool, 11> m_lineConfirmed = {};
    int32_t m_nLineCount = 0; // 0 when no run awaits its outcome
};

// Reads the Set inputs as the checks of the Set action do, in their order. Trims the name, class,
// password and bind address of the input in place and fills the snapshot as far as the checks
// got. Returns nullptr when every check passed, else the message of the first failing one (UTF-8).
const char *CheckSetForm(CSetFormInput &input, ModuleParams *pNew);

// Fills the list with the lines that take the module from the last-read values to the snapshot,
// advancing the last-read fields of every line queued. Records in pBook (when given) what each
// line advanced. Returns the number of lines, 0 to 11, also stored in *pCount.
int32_t BuildSetCommandList(const ModuleParams &snapshot, ModuleParams *pCur, char list[11][128],
                            int32_t *pCount, CSetRunBook *pBook);

// The module confirmed line nIndex; it stays advanced when the run ends.
void ConfirmSetLine(CSetRunBook *pBook, int nIndex);

// The run is over: every line not confirmed gives back the last-read values it advanced, unless
// the field no longer holds the value the line queued (a reading of the module came in between).
void EndSetRun(CSetRunBook *pBook, ModuleParams *pCur);
