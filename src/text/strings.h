#pragma once
// The three text operations with which the album readers cut web pages apart.
// They work on byte strings of any length and never fail: a missing occurrence,
// a missing field or an empty argument simply gives the result described below.

#include <string>
#include <string_view>

namespace gathrix {

// Returns text with every occurrence of look_for replaced by replace_with, left
// to right, without overlaps; inserted text is never searched again. An empty
// look_for, or replace_with equal to look_for, leaves the text unchanged.
std::string ReplaceAll(std::string_view text, std::string_view look_for, std::string_view replace_with);

// Returns field number `number` (counted from 1) of text split at a one-character
// delimiter, or the empty text when that field does not exist. An empty field
// and a missing one look the same. Only the first character of delimiters is
// used; an empty one makes the whole text field 1.
std::string Field(std::string_view text, long long number, std::string_view delimiters);

// Returns the last non-empty field of text split at the delimiter, passing over
// single empty fields and trailing delimiters; two empty fields side by side
// end the search at the field before them ("a///b" gives "a").
std::string LastField(std::string_view text, std::string_view delimiters);

// Walks the fields of a text split at a one-character delimiter from the front,
// giving for field number 1, 2, 3, ... exactly what Field gives for that
// number, in time linear in the length of the text (calling Field for each
// number in turn would be quadratic). The text must outlive the cursor.
class FieldCursor {
public:
    FieldCursor(std::string_view text, char delimiter);

    // The current field number, 1 at the start.
    long long Number() const { return number_; }
    // Field(text, Number(), delimiter).
    std::string_view Field() const { return current_; }
    // Field(text, Number() - 1, delimiter): empty for field 1.
    std::string_view PreviousField() const { return previous_; }
    // Field(text, Number() + 1, delimiter).
    std::string_view NextField() const { return next_; }
    // Moves on to the next field number (past the last field every field is empty).
    void Advance();

private:
    // The field that starts at pos_ (empty when there is none), moving pos_ past it.
    std::string_view Take();

    std::string_view text_;
    char delimiter_;
    std::size_t pos_ = 0;     // where the field after next_ starts
    bool exhausted_ = false;  // no field after next_
    long long number_ = 1;
    std::string_view previous_, current_, next_;
};

// Where the first occurrence of needle in haystack starts, npos when absent.
// With ignore_case, ASCII letters compare without regard to case.
std::size_t Find(std::string_view haystack, std::string_view needle, bool ignore_case = false);

// True when needle occurs in haystack (see Find).
inline bool Contains(std::string_view haystack, std::string_view needle, bool ignore_case = false) {
    return Find(haystack, needle, ignore_case) != std::string_view::npos;
}

// Removes leading and trailing blanks: spaces, and the line breaks (CR, LF) that
// Enter after a pasted address leaves in a multi-line box. Tabs stay.
std::string_view TrimBlanks(std::string_view text);

}  // namespace gathrix
