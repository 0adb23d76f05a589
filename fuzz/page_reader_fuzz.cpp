// PageReader on arbitrary bytes, in memory, against a deliberately plain
// reference written here: a cursor that looks at one byte at a time and follows
// the line and item rules word for word, so that a shortcut in the real reader
// (its searches, its scans) cannot hide behind a copy of itself. The input is
// read three times: as lines only, as items only, and with lines and items
// mixed, each read picked from the bytes themselves. Besides, every byte must
// come back in exactly one line or item, separators aside.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "text/page_reader.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

class PlainReader {
public:
    explicit PlainReader(std::string_view bytes) : bytes_(bytes) {}

    bool AtEnd() const { return at_ >= bytes_.size(); }
    std::size_t Position() const { return at_; }

    std::optional<std::string> ReadLine() {
        if (AtEnd()) return std::nullopt;
        std::string line;
        for (int c = Next(); c != kEnd; c = Next()) {
            if (c == '\r') {
                SkipLfAfterCr();
                break;
            }
            line.push_back(static_cast<char>(c));
        }
        return line;
    }

    std::optional<std::string> ReadItem() {
        if (AtEnd()) return std::nullopt;
        int c = Next();
        while (c == ' ' || c == '\t') c = Next();
        std::string item;
        if (c == '"') {
            for (c = Next(); c != kEnd && c != '"'; c = Next()) item.push_back(static_cast<char>(c));
            if (c == kEnd) return item;
            const int after = Next();
            if (after == '\r') {
                SkipLfAfterCr();
            } else if (after != ',' && after != '\n' && after != kEnd) {
                --at_;  // the byte after the closing quote begins the next item
            }
            return item;
        }
        for (; c != kEnd; c = Next()) {
            if (c == ',' || c == '\n') break;
            if (c == '\r') {
                SkipLfAfterCr();
                break;
            }
            item.push_back(static_cast<char>(c));
        }
        return item;
    }

private:
    static constexpr int kEnd = -1;

    int Next() { return at_ < bytes_.size() ? static_cast<unsigned char>(bytes_[at_++]) : kEnd; }
    void SkipLfAfterCr() {
        if (at_ < bytes_.size() && bytes_[at_] == '\n') ++at_;
    }

    std::string_view bytes_;
    std::size_t at_ = 0;
};

enum class Reads { Lines, Items, Mixed };

// Reads the whole of bytes with both readers and checks that every answer is the
// same. Returns what PageReader gave, in order.
std::vector<std::string> Compare(std::string_view bytes, Reads reads) {
    gathrix::PageReader reader(bytes);
    PlainReader plain(bytes);
    std::vector<std::string> pieces;
    while (!plain.AtEnd()) {
        Check(!reader.AtEnd());
        Check(pieces.size() <= bytes.size());  // every read consumes at least one byte
        bool line = reads == Reads::Lines;
        if (reads == Reads::Mixed) {
            line = ((static_cast<unsigned char>(bytes[plain.Position()]) + pieces.size()) & 1) != 0;
        }
        std::optional<std::string> got = line ? reader.ReadLine() : reader.ReadItem();
        const std::optional<std::string> expected = line ? plain.ReadLine() : plain.ReadItem();
        Check(got.has_value() && got == expected);
        pieces.push_back(std::move(*got));
    }
    Check(reader.AtEnd());
    Check(!reader.ReadLine().has_value());
    Check(!reader.ReadItem().has_value());
    return pieces;
}

// Lines: each line is the next stretch of the bytes up to a CR, which is
// consumed with an LF right after it; nothing else is dropped.
void CheckLines(std::string_view bytes, const std::vector<std::string>& lines) {
    std::size_t at = 0;
    for (const std::string& line : lines) {
        Check(bytes.substr(at, line.size()) == line);
        Check(line.find('\r') == std::string::npos);
        at += line.size();
        if (at < bytes.size()) {
            Check(bytes[at] == '\r');
            ++at;
            if (at < bytes.size() && bytes[at] == '\n') ++at;
        }
    }
    Check(at == bytes.size());
}

bool Separator(char c) { return c == ',' || c == '"' || c == '\r' || c == '\n' || c == ' ' || c == '\t'; }

// Items: the items, joined, are the bytes with separators (commas, quotes, line
// ends, blanks) taken out of them here and there, but nothing else: every other
// byte comes back exactly once, in order.
void CheckItems(std::string_view bytes, const std::vector<std::string>& items) {
    std::size_t at = 0;
    for (const std::string& item : items) {
        for (char c : item) {  // the items, joined, are a subsequence of the bytes
            while (at < bytes.size() && bytes[at] != c) {
                Check(Separator(bytes[at]));
                ++at;
            }
            Check(at < bytes.size());
            ++at;
        }
    }
    for (; at < bytes.size(); ++at) Check(Separator(bytes[at]));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 1 << 16) return 0;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    CheckLines(bytes, Compare(bytes, Reads::Lines));
    CheckItems(bytes, Compare(bytes, Reads::Items));
    Compare(bytes, Reads::Mixed);
    return 0;
}
