#include "text/strings.h"

#include <array>
#include <vector>

namespace gathrix {

namespace {

char Lower(char ch) { return (ch >= 'A' && ch <= 'Z') ? static_cast<char>(ch - 'A' + 'a') : ch; }

// Finds needle in haystack from position from on, in time linear in both
// (Knuth-Morris-Pratt), so that no page item, however it is built, makes a
// search slow. Returns the 0-based position or npos. The table of a short
// needle lives on the stack: the readers search millions of small fields.
class Finder {
public:
    Finder(std::string_view needle, bool ignore_case) : needle_(needle), ignore_case_(ignore_case) {
        if (needle_.size() > kShort) long_table_.resize(needle_.size());
        std::size_t* fail = Table();
        // fail[i]: length of the longest proper border of needle[0..i].
        if (!needle_.empty()) fail[0] = 0;
        std::size_t k = 0;
        for (std::size_t i = 1; i < needle_.size(); ++i) {
            while (k > 0 && !Same(needle_[i], needle_[k])) k = fail[k - 1];
            if (Same(needle_[i], needle_[k])) ++k;
            fail[i] = k;
        }
    }

    std::size_t Find(std::string_view haystack, std::size_t from = 0) const {
        if (needle_.empty()) return from <= haystack.size() ? from : std::string_view::npos;
        const std::size_t* fail = Table();
        std::size_t k = 0;
        for (std::size_t i = from; i < haystack.size(); ++i) {
            while (k > 0 && !Same(haystack[i], needle_[k])) k = fail[k - 1];
            if (Same(haystack[i], needle_[k])) ++k;
            if (k == needle_.size()) return i + 1 - k;
        }
        return std::string_view::npos;
    }

private:
    static constexpr std::size_t kShort = 64;

    bool Same(char a, char b) const { return ignore_case_ ? Lower(a) == Lower(b) : a == b; }
    std::size_t* Table() { return needle_.size() > kShort ? long_table_.data() : short_table_.data(); }
    const std::size_t* Table() const { return needle_.size() > kShort ? long_table_.data() : short_table_.data(); }

    std::string_view needle_;
    bool ignore_case_;
    std::array<std::size_t, kShort> short_table_;
    std::vector<std::size_t> long_table_;
};

}  // namespace

std::string ReplaceAll(std::string_view text, std::string_view look_for, std::string_view replace_with) {
    if (look_for.empty() || replace_with == look_for) return std::string(text);
    const Finder finder(look_for, false);
    std::string result;
    result.reserve(text.size());
    std::size_t from = 0;
    for (;;) {
        const std::size_t at = finder.Find(text, from);
        if (at == std::string_view::npos) {
            result.append(text.substr(from));
            return result;
        }
        result.append(text.substr(from, at - from));
        result.append(replace_with);
        from = at + look_for.size();
    }
}

std::string Field(std::string_view text, long long number, std::string_view delimiters) {
    if (text.empty() || number < 1) return {};
    if (delimiters.empty()) return number == 1 ? std::string(text) : std::string();
    const char delimiter = delimiters.front();
    std::size_t start = 0;
    // Skip number-1 delimiters; the scan stops as soon as field number is closed.
    for (long long field = 1; field < number; ++field) {
        const auto at = text.find(delimiter, start);
        if (at == std::string_view::npos) return {};
        start = at + 1;
    }
    const auto end = text.find(delimiter, start);
    return std::string(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
}

// The last field is found by walking the fields once, looking two fields ahead:
// field k is the answer at the first k where fields k+1 and k+2 are both empty
// (missing fields count as empty).
std::string LastField(std::string_view text, std::string_view delimiters) {
    if (text.empty()) return {};
    if (delimiters.empty()) return std::string(text);
    const char delimiter = delimiters.front();

    // Fields as [begin, end) ranges, produced one at a time; past the last field
    // every further "field" is missing, which reads as empty.
    struct Field {
        std::size_t begin = 0, end = 0;
        bool exists = false;
        bool Empty() const { return !exists || begin == end; }
    };
    std::size_t next_start = 0;
    bool done = false;
    auto next_field = [&]() {
        Field f;
        if (done) return f;
        const auto at = text.find(delimiter, next_start);
        f.exists = true;
        f.begin = next_start;
        f.end = at == std::string_view::npos ? text.size() : at;
        if (at == std::string_view::npos) {
            done = true;
        } else {
            next_start = at + 1;
        }
        return f;
    };

    Field k = next_field();
    Field k1 = next_field();
    Field k2 = next_field();
    while (!(k1.Empty() && k2.Empty())) {
        k = k1;
        k1 = k2;
        k2 = next_field();
    }
    return k.exists ? std::string(text.substr(k.begin, k.end - k.begin)) : std::string();
}

FieldCursor::FieldCursor(std::string_view text, char delimiter) : text_(text), delimiter_(delimiter) {
    // Field gives nothing at all for an empty text.
    exhausted_ = text_.empty();
    current_ = Take();
    next_ = Take();
}

std::string_view FieldCursor::Take() {
    if (exhausted_) return {};
    const std::size_t at = text_.find(delimiter_, pos_);
    const std::size_t end = at == std::string_view::npos ? text_.size() : at;
    std::string_view field = text_.substr(pos_, end - pos_);
    if (at == std::string_view::npos) {
        exhausted_ = true;
    } else {
        pos_ = at + 1;
    }
    return field;
}

void FieldCursor::Advance() {
    ++number_;
    previous_ = current_;
    current_ = next_;
    next_ = Take();
}

std::size_t Find(std::string_view haystack, std::string_view needle, bool ignore_case) {
    // A short needle is found fastest by the library's search, which costs at
    // most its length per character of the haystack: still linear.
    if (!ignore_case && needle.size() <= 64) return haystack.find(needle);
    return Finder(needle, ignore_case).Find(haystack);
}

std::string_view TrimBlanks(std::string_view text) {
    constexpr std::string_view kBlanks = " \r\n";
    const auto first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(kBlanks);
    return text.substr(first, last - first + 1);
}

}  // namespace gathrix
