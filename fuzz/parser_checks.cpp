#include "parser_checks.h"

#include <cstdlib>

namespace gathrix::fuzz {

namespace {

constexpr std::size_t npos = std::string_view::npos;

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

bool SameAt(std::string_view text, std::size_t at, std::string_view piece, bool ignore_case = false) {
    if (piece.size() > text.size() - at) return false;
    for (std::size_t i = 0; i < piece.size(); ++i) {
        if (ignore_case ? Lower(text[at + i]) != Lower(piece[i]) : text[at + i] != piece[i]) return false;
    }
    return true;
}

// Whether piece stands in text at `at` (see FindFrom). Where piece holds `to`
// and text `from`, only the rewrite makes them the same; occurrences of `to`
// do not overlap, so the comparison never has to go back.
bool StandsAt(std::string_view text, std::size_t at, std::string_view piece, Rewrite rewrite) {
    if (piece.size() > text.size() - at) return false;
    for (std::size_t i = 0; i < piece.size();) {
        if (!rewrite.to.empty() && piece[i] == rewrite.to[0] && SameAt(piece, i, rewrite.to) &&
            SameAt(text, at + i, rewrite.from)) {
            i += rewrite.to.size();
        } else if (text[at + i] == piece[i]) {
            ++i;
        } else {
            return false;
        }
    }
    return true;
}

}  // namespace

void Check(bool condition) {
    if (!condition) std::abort();
}

std::size_t CountOf(std::string_view text, std::string_view needle, bool ignore_case) {
    std::size_t count = 0;
    if (needle.empty()) return text.size() + 1;
    const char first = Lower(needle[0]);
    for (std::size_t at = 0; at + needle.size() <= text.size(); ++at) {
        // Most places are passed over on their first byte.
        if (Lower(text[at]) == first && SameAt(text, at, needle, ignore_case)) ++count;
    }
    return count;
}

std::string WithoutQuotes(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (c != '"') out.push_back(c);
    }
    return out;
}

std::size_t FindFrom(std::string_view text, std::string_view piece, std::size_t from, Rewrite rewrite) {
    if (piece.empty()) return from <= text.size() ? from : npos;
    const char first = !rewrite.to.empty() && SameAt(piece, 0, rewrite.to) ? rewrite.from[0] : piece[0];
    for (std::size_t at = from; at < text.size(); ++at) {
        if ((text[at] == piece[0] || text[at] == first) && StandsAt(text, at, piece, rewrite)) return at;
    }
    return npos;
}

void CheckInOrder(std::string_view text, const std::vector<FoundPicture>& pictures, Rewrite rewrite, bool links) {
    std::size_t from = 0;
    for (const FoundPicture& picture : pictures) {
        const std::string& piece = links ? picture.photo_link : picture.address;
        const std::size_t at = FindFrom(text, piece, from, rewrite);
        Check(at != npos);
        if (!piece.empty()) from = at + 1;
    }
}

void CheckStillFound(const std::vector<FoundPicture>& before, const std::vector<FoundPicture>& after) {
    Check(after.size() >= before.size());
    for (std::size_t i = 0; i < before.size(); ++i) {
        Check(after[i].photo_link == before[i].photo_link);
        Check(i + 1 < before.size() ? after[i].address == before[i].address
                                    : after[i].address.starts_with(before[i].address));
    }
}

}  // namespace gathrix::fuzz
