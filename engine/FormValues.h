#pragma once

#include "engine/ModuleParams.h"
#include "engine/ParamTable.h"

#include <string>

// What "set" was asked to change, in the record's own shape: the parameters named (a bit per row
// of ParamTable) and their values there; the others keep what the module reported. Texts are
// UTF-8 as typed until ConvertSetTextsToGbk, GBK otherwise; a group's numbers are decimal texts,
// a choice is its index.
struct CSetValues
{
    ModuleParams params;
    uint32_t nAsked = 0;

    bool Has(const CParamRow &row) const { return (nAsked & ParamBit(row)) != 0; }
    bool Any() const { return nAsked != 0; }
    void Ask(const CParamRow &row) { nAsked |= ParamBit(row); }
    // One value asked for: a text field (a group's member asks for its group) or a choice.
    void Ask(std::string ModuleParams::*pField, std::string strValue);
    void Ask(int32_t ModuleParams::*pField, int32_t nValue);
};

// The baud list entry for a rate, or -1 when the module does not offer it.
int BaudIndex(const std::string &strBaud);
