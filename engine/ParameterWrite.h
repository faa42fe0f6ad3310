#pragma once

#include "engine/ModuleParams.h"
#include "engine/UiText.h"

#include <array>
#include <cstdint>
#include <string>

// What the Set action takes from the form, in the record's shape (ReadFormRecord): the form
// members (GBK texts, the numbers as decimal texts), the three check states, the text of the baud
// list and the selections of the parity and stop-bit lists.
using CSetFormInput = ModuleParams;

// Which last-read fields each queued set line advanced, and what they held before, so that the
// lines the module never confirmed can be taken back when the run ends.
struct CSetRunBook
{
    ModuleParams m_paramsBefore;                // the last-read record before the list was built
    ModuleParams m_paramsQueued;                // the same right after
    std::array<uint32_t, 11> m_lineFields = {}; // ParamBit of each parameter the line advanced
    std::array<bool, 11> m_lineConfirmed = {};
    int32_t m_nLineCount = 0; // 0 when no run awaits its outcome
};

// Reads the Set inputs as the checks of the Set action do, in their order. Trims the name, class,
// password and bind address of the input in place and fills the snapshot as far as the checks
// got. Returns a null source when every check passed, else the message of the first failing one.
CUiSource CheckSetForm(CSetFormInput &input, ModuleParams *pNew);

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
