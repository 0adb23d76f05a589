#pragma once
// The three text operations with which the album readers cut web pages apart.
// They work on byte strings of any length and never fail: a missing occurrence,
// a missing field or an empty argument simply gives the result described below.

#include <string>
#include <string_view>

namespace gathrix {

// Returns SearchString with every occurrence of LookFor replaced by ReplaceWith,
// left to right, without overlaps; inserted text is never searched again.
// An empty LookFor, or ReplaceWith equal to LookFor, leaves the text unchanged.
std::string SandR(std::string_view SearchString, std::string_view LookFor, std::string_view ReplaceWith);

// Returns field number X (counted from 1) of ins split at the one-character
// delimiter c, or the empty text when that field does not exist. An empty field
// and a missing one look the same. Only the first character of c is used; an
// empty c makes the whole text field 1.
std::string retparm(std::string_view ins, long long X, std::string_view c);

// Returns the last non-empty field of st split at c, passing over single empty
// fields and trailing delimiters; two empty fields side by side end the search
// at the field before them ("a///b" gives "a").
std::string retlast(std::string_view st, std::string_view c);

// Position (1-based) of the first occurrence of needle in haystack, 0 when absent.
// With ignore_case, ASCII letters compare without regard to case.
std::size_t InStr(std::string_view haystack, std::string_view needle, bool ignore_case = false);

// True when needle occurs in haystack (see InStr).
inline bool Contains(std::string_view haystack, std::string_view needle, bool ignore_case = false) {
    return InStr(haystack, needle, ignore_case) != 0;
}

// Removes leading and trailing blanks (the space character only; tabs stay).
std::string_view TrimBlanks(std::string_view text);

}  // namespace gathrix
