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

// Walks the fields of a text split at a one-character delimiter from the front,
// giving for field number 1, 2, 3, ... exactly what retparm gives for that
// number, in time linear in the length of the text (calling retparm for each
// number in turn would be quadratic). The text must outlive the cursor.
class FieldCursor {
public:
    FieldCursor(std::string_view text, char delimiter);

    // The current field number, 1 at the start.
    long long Number() const { return number_; }
    // retparm(text, Number(), delimiter).
    std::string_view Field() const { return current_; }
    // retparm(text, Number() - 1, delimiter): empty for field 1.
    std::string_view PreviousField() const { return previous_; }
    // retparm(text, Number() + 1, delimiter).
    std::string_view NextField() const { return next_; }
    // Moves on to the next field number (past the last field every field is empty).
    void Advance();

private:
    // The field that starts at pos_ (empty when there is none), moving pos_ past it.
    std::string_view Take();

    std::string_view text_;
    char delimiter_;
    std::size_t pos_ = 0;      // where the field after next_ starts
    bool exhausted_ = false;   // no field after next_
    long long number_ = 1;
    std::string_view previous_, current_, next_;
};

// Position (1-based) of the first occurrence of needle in haystack, 0 when absent.
// With ignore_case, ASCII letters compare without regard to case.
std::size_t InStr(std::string_view haystack, std::string_view needle, bool ignore_case = false);

// True when needle occurs in haystack (see InStr).
inline bool Contains(std::string_view haystack, std::string_view needle, bool ignore_case = false) {
    return InStr(haystack, needle, ignore_case) != 0;
}

// Removes leading and trailing blanks: spaces, and the line breaks (CR, LF) that
// Enter after a pasted address leaves in a multi-line box. Tabs stay.
std::string_view TrimBlanks(std::string_view text);

}  // namespace gathrix
