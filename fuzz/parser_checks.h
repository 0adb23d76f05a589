#pragma once
// What the page parser harnesses share. The parsers are pure functions over a
// page's bytes, so an execution only parses the input in memory: no server, no
// files. These helpers are built without coverage instrumentation, and search
// in plain loops rather than with memcmp, which libFuzzer intercepts at a cost.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "download/sites/page_parsers.h"

namespace gathrix::fuzz {

// Inputs above this size are passed over.
inline constexpr std::size_t kMaxPage = 64 * 1024;

// Aborts, which libFuzzer reports, when condition is false.
void Check(bool condition);

// How many times needle starts in text, overlaps included; with ignore_case,
// ASCII letters compare without regard to case.
std::size_t CountOf(std::string_view text, std::string_view needle, bool ignore_case = false);
inline bool Has(std::string_view text, std::string_view needle, bool ignore_case = false) {
    return CountOf(text, needle, ignore_case) > 0;
}

// text with every double quote taken out.
std::string WithoutQuotes(std::string_view text);

// A rewrite a parser applies to the addresses it takes from a page: every
// `from` becomes `to`, of the same length, and occurrences of `to` cannot
// overlap ("_fs.", "_o."). Empty: none.
struct Rewrite {
    std::string_view from;
    std::string_view to;
};

// Where piece stands in text at or after position from, each `to` in piece
// possibly standing for a `from` there; npos when nowhere.
std::size_t FindFrom(std::string_view text, std::string_view piece, std::size_t from = 0, Rewrite rewrite = {});

// Checks that the pictures' addresses (or, with links, their photo links)
// stand in text in the order found: each non-empty one after where the one
// before it starts.
void CheckInOrder(std::string_view text, const std::vector<FoundPicture>& pictures, Rewrite rewrite = {},
                  bool links = false);

// Checks what a page with "\r\n" appended gave against what the page gave:
// each picture is still there in its place, and only the last one's address
// may have grown (an unclosed quote at the end takes the line end in).
void CheckStillFound(const std::vector<FoundPicture>& before, const std::vector<FoundPicture>& after);

}  // namespace gathrix::fuzz
