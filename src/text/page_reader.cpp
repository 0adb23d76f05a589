#include "text/page_reader.h"

#include "text/strings.h"

#include <stdio.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <system_error>

namespace gathrix {

namespace {
constexpr char kCR = '\r';
constexpr char kLF = '\n';
constexpr char kQuote = '"';
constexpr char kComma = ',';

// Where an unquoted item starting at `from` ends: the first comma or line end
// at or after it, or the end of the bytes. One pass over plain comparisons, so
// a page of many megabytes without a separator is scanned at memory speed.
std::size_t UnquotedItemEnd(std::string_view bytes, std::size_t from) {
    const char* const data = bytes.data();
    const std::size_t size = bytes.size();
    std::size_t i = from;
    while (i < size) {
        const char c = data[i];
        if (c == kComma || c == kLF || c == kCR) break;
        ++i;
    }
    return i;
}

struct CloseFile {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
}  // namespace

PageReader::PageReader(std::string_view bytes) : bytes_(bytes) {}

bool PageReader::AtEnd() const { return at_ >= bytes_.size(); }

void PageReader::SkipLfAfterCr() {
    if (at_ < bytes_.size() && bytes_[at_] == kLF) ++at_;
}

std::optional<std::string> PageReader::ReadLine() {
    if (AtEnd()) return std::nullopt;
    // find() is a memchr: a line of many megabytes, such as a page's line of
    // thumbnails, is found and copied once (NUL bytes included).
    const std::size_t cr = bytes_.find(kCR, at_);
    if (cr == std::string_view::npos) {
        std::string line(bytes_.substr(at_));
        at_ = bytes_.size();
        return line;
    }
    std::string line(bytes_.substr(at_, cr - at_));
    at_ = cr + 1;
    SkipLfAfterCr();
    return line;
}

// Item rules, as the page readers rely on them:
//  - Blanks and tabs before an item are skipped (our choice for tabs).
//  - An item that begins with a double quote runs to the next double quote, line
//    ends and commas included; the quotes are dropped. A comma or line end right
//    after the closing quote is consumed; any other character begins the next
//    item, so "k":"v" gives k and then :"v".
//  - Any other item runs to the next comma or line end, which is consumed; quotes
//    inside it stay part of it.
//  - A line end is CR, CR LF or a bare LF: for items a bare LF ends the item too
//    (our choice), so a version file saved with Unix line ends reads as "3.5".
std::optional<std::string> PageReader::ReadItem() {
    if (AtEnd()) return std::nullopt;

    const std::size_t size = bytes_.size();
    while (at_ < size && (bytes_[at_] == ' ' || bytes_[at_] == '\t')) ++at_;
    if (at_ == size) return std::string();

    if (bytes_[at_] == kQuote) {
        const std::size_t open = at_ + 1;
        const std::size_t close = bytes_.find(kQuote, open);
        if (close == std::string_view::npos) {
            at_ = size;
            return std::string(bytes_.substr(open));
        }
        std::string item(bytes_.substr(open, close - open));
        at_ = close + 1;
        if (at_ < size) {
            const char next = bytes_[at_];
            if (next == kCR) {
                ++at_;
                SkipLfAfterCr();
            } else if (next == kComma || next == kLF) {
                ++at_;
            }
        }
        return item;
    }

    const std::size_t end = UnquotedItemEnd(bytes_, at_);
    std::string item(bytes_.substr(at_, end - at_));
    at_ = end;
    if (at_ < size) {
        const bool cr = bytes_[at_] == kCR;
        ++at_;
        if (cr) SkipLfAfterCr();
    }
    return item;
}

std::optional<std::string> ReadWholeFile(const std::filesystem::path& path) {
    // Checked before opening, so that opening never waits on a pipe or a device.
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return std::nullopt;
    const std::unique_ptr<std::FILE, CloseFile> file(std::fopen(path.c_str(), "rb"));
    if (!file) return std::nullopt;
    struct stat opened {};
    if (::fstat(::fileno(file.get()), &opened) != 0 || !S_ISREG(opened.st_mode)) return std::nullopt;

    // The size it has now is read in one go; the rest, should the file grow
    // meanwhile, a block at a time.
    std::string bytes(static_cast<std::size_t>(opened.st_size), '\0');
    bytes.resize(std::fread(bytes.data(), 1, bytes.size(), file.get()));
    char block[1 << 16];
    for (;;) {
        const std::size_t got = std::fread(block, 1, sizeof block, file.get());
        if (got == 0) break;
        bytes.append(block, got);
    }
    if (std::ferror(file.get()) != 0) return std::nullopt;
    return bytes;
}

std::optional<std::int64_t> FileLength(const std::filesystem::path& path) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return std::nullopt;
    const auto size = std::filesystem::file_size(path, ec);
    if (ec) return std::nullopt;
    return static_cast<std::int64_t>(size);
}

bool DeleteFile(const std::filesystem::path& path) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(std::filesystem::symlink_status(path, ec))) return false;
    return std::filesystem::remove(path, ec);
}

std::optional<std::string> NextItemHolding(PageReader& reader, std::string_view marker, bool ignore_case) {
    while (!reader.AtEnd()) {
        std::optional<std::string> item = reader.ReadItem();
        if (item && Contains(*item, marker, ignore_case)) return item;
    }
    return std::nullopt;
}

}  // namespace gathrix
