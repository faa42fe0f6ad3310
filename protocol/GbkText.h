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
