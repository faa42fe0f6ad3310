#pragma once

#include <string>

// What a field of the form takes, typed, pasted or dropped: only characters GBK can carry (the
// module's code page), no more GBK bytes than the parameter allows, and digits only in the
// number fields. Both windows put every change of a field through it.
struct CFieldFilterResult
{
    std::string strKept; // UTF-8: what the field may hold of what it was given
    bool bChanged = false;
};

// nId is the field's control id; a control that is not a text field takes anything.
CFieldFilterResult FilterFieldText(int nId, const std::string &strUtf8);

// Whether the field takes the text as it is.
bool FieldAccepts(int nId, const std::string &strUtf8);
