#pragma once
// UTF-8 as names and addresses carry it: well-formed characters told apart from
// stray bytes, text cut without splitting a character, and text made safe to
// show on a terminal. Bytes that are not well-formed UTF-8 are taken one at a
// time and never make a function fail.

#include <cstddef>
#include <string>
#include <string_view>

namespace gathrix {

// The number of bytes (1 to 4) of the well-formed UTF-8 character that starts
// at text[pos], or 0 when the bytes there start none: a continuation byte, an
// overlong form, a surrogate, a value above U+10FFFF or a sequence cut short.
std::size_t Utf8CharacterLength(std::string_view text, std::size_t pos);

// Whether text[pos] starts a C1 control character (U+0080 to U+009F, the two
// bytes C2 80 to C2 9F).
bool IsC1Control(std::string_view text, std::size_t pos);

// The longest start of text that is at most max_bytes long and does not end
// inside a well-formed UTF-8 character (a stray byte counts as one character).
std::string_view CutUtf8(std::string_view text, std::size_t max_bytes);

// text as it may be written to a terminal: every control character (bytes
// below 0x20, 0x7F and the C1 controls, whose two bytes are both written) and
// every byte that is not part of a well-formed UTF-8 character becomes "\xNN",
// with two upper-case hex digits. Everything else, printable UTF-8 included, is
// kept as it is.
std::string EscapeForTerminal(std::string_view text);

}  // namespace gathrix
