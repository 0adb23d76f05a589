#include "text/strings.h"

#include <algorithm>

namespace gathrix {

std::string SandR(std::string_view SearchString, std::string_view LookFor, std::string_view ReplaceWith) {
    if (LookFor.empty() || ReplaceWith == LookFor) return std::string(SearchString);
    std::string result;
    result.reserve(SearchString.size());
    std::string_view rest = SearchString;
    for (;;) {
        const auto at = rest.find(LookFor);
        if (at == std::string_view::npos) {
            result.append(rest);
            return result;
        }
        result.append(rest.substr(0, at));
        result.append(ReplaceWith);
        rest.remove_prefix(at + LookFor.size());
    }
}

std::string retparm(std::string_view ins, long long X, std::string_view c) {
    if (ins.empty() || X < 1) return {};
    if (c.empty()) return X == 1 ? std::string(ins) : std::string();
    const char delimiter = c.front();
    std::size_t start = 0;
    // Skip X-1 delimiters; the scan stops as soon as field X is closed.
    for (long long field = 1; field < X; ++field) {
        const auto at = ins.find(delimiter, start);
        if (at == std::string_view::npos) return {};
        start = at + 1;
    }
    const auto end = ins.find(delimiter, start);
    return std::string(ins.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
}

std::string retlast(std::string_view st, std::string_view c) {
    for (long long k = 1;; ++k) {
        if (retparm(st, k + 1, c).empty() && retparm(st, k + 2, c).empty()) return retparm(st, k, c);
    }
}

namespace {
char Lower(char ch) { return (ch >= 'A' && ch <= 'Z') ? static_cast<char>(ch - 'A' + 'a') : ch; }
}  // namespace

std::size_t InStr(std::string_view haystack, std::string_view needle, bool ignore_case) {
    if (!ignore_case) {
        const auto at = haystack.find(needle);
        return at == std::string_view::npos ? 0 : at + 1;
    }
    const auto it = std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end(),
                                [](char a, char b) { return Lower(a) == Lower(b); });
    if (it == haystack.end() && !needle.empty()) return 0;
    return static_cast<std::size_t>(it - haystack.begin()) + 1;
}

std::string_view TrimBlanks(std::string_view text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(' ');
    return text.substr(first, last - first + 1);
}

}  // namespace gathrix
