#pragma once

#include <optional>
#include <string>
#include <string_view>

// Text enters the module as GBK (code page 936) and every length limit counts those bytes; the
// rest of the program speaks UTF-8. One rule for every way in: a character GBK cannot hold is
// refused, never sent as "?".

// The GBK bytes of a UTF-8 text, or nothing when the text is not valid UTF-8 or holds a character
// that GBK cannot carry.
std::optional<std::string> Utf8ToGbk(std::string_view strUtf8);

// The UTF-8 text of GBK bytes from the module; a byte sequence that is not GBK becomes U+FFFD, so
// whatever the line delivered can be shown.
std::string GbkToUtf8(std::string_view strGbk);

// A text meant for the module: its GBK bytes, or why it cannot go there.
struct GbkFieldText
{
    std::string strGbk;
    std::string strError; // names the field and the first character GBK cannot carry; empty: fine
};

// The one check for text entering the module, wherever it comes from; strField names the field
// in the message ("--name").
GbkFieldText CheckGbkFieldText(std::string_view strField, std::string_view strUtf8);
