// The string helpers against deliberately plain references written here: the
// naive way each operation is described (fields split into a list, a search at
// every position), so that a shortcut in the real code cannot hide behind a
// copy of itself.
//
// Input: byte 0 picks the delimiter, byte 1 the length of the needle, byte 2
// the length of the replacement; the rest is needle, replacement and text.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "text/strings.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

bool MatchesAt(std::string_view text, std::size_t at, std::string_view needle, bool ignore_case) {
    if (at + needle.size() > text.size()) return false;
    for (std::size_t i = 0; i < needle.size(); ++i) {
        const char a = text[at + i];
        const char b = needle[i];
        if (ignore_case ? Lower(a) != Lower(b) : a != b) return false;
    }
    return true;
}

std::size_t NaiveFind(std::string_view text, std::string_view needle, bool ignore_case) {
    for (std::size_t at = 0; at + needle.size() <= text.size(); ++at) {
        if (MatchesAt(text, at, needle, ignore_case)) return at;
    }
    return std::string_view::npos;
}

std::string NaiveReplaceAll(std::string_view text, std::string_view look_for, std::string_view replace_with) {
    if (look_for.empty() || look_for == replace_with) return std::string(text);
    std::string out;
    std::size_t i = 0;
    while (i < text.size()) {
        if (MatchesAt(text, i, look_for, false)) {
            out += replace_with;
            i += look_for.size();
        } else {
            out += text[i++];
        }
    }
    return out;
}

std::vector<std::string> Fields(std::string_view text, char delimiter) {
    std::vector<std::string> fields(1);
    for (char c : text) {
        if (c == delimiter) {
            fields.emplace_back();
        } else {
            fields.back() += c;
        }
    }
    return fields;
}

std::string NaiveRetparm(std::string_view text, long long number, char delimiter) {
    if (text.empty() || number < 1) return {};
    const std::vector<std::string> fields = Fields(text, delimiter);
    return number <= static_cast<long long>(fields.size()) ? fields[static_cast<std::size_t>(number - 1)]
                                                           : std::string();
}

std::string NaiveRetlast(std::string_view text, char delimiter) {
    for (long long k = 1;; ++k) {
        if (NaiveRetparm(text, k + 1, delimiter).empty() && NaiveRetparm(text, k + 2, delimiter).empty()) {
            return NaiveRetparm(text, k, delimiter);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3 || size > 4096) return 0;
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const char delimiter = bytes[0];
    const std::size_t needle_size = static_cast<std::uint8_t>(bytes[1]) % 8;
    const std::size_t replacement_size = static_cast<std::uint8_t>(bytes[2]) % 8;
    std::string_view rest = std::string_view(bytes).substr(3);
    const std::string_view needle = rest.substr(0, needle_size);
    rest.remove_prefix(needle.size());
    const std::string_view replacement = rest.substr(0, replacement_size);
    rest.remove_prefix(replacement.size());
    const std::string_view text = rest;
    const std::string c(1, delimiter);

    Check(gathrix::ReplaceAll(text, needle, replacement) == NaiveReplaceAll(text, needle, replacement));
    Check(gathrix::Find(text, needle) == NaiveFind(text, needle, false));
    Check(gathrix::Find(text, needle, true) == NaiveFind(text, needle, true));
    Check(gathrix::LastField(text, c) == NaiveRetlast(text, delimiter));

    const long long fields = static_cast<long long>(Fields(text, delimiter).size());
    gathrix::FieldCursor cursor(text, delimiter);
    for (long long n = 1; n <= fields + 2; ++n, cursor.Advance()) {
        const std::string field = NaiveRetparm(text, n, delimiter);
        Check(gathrix::Field(text, n, c) == field);
        Check(cursor.Number() == n && cursor.Field() == field);
        Check(cursor.NextField() == NaiveRetparm(text, n + 1, delimiter));
        Check(cursor.PreviousField() == NaiveRetparm(text, n - 1, delimiter));
    }
    return 0;
}
