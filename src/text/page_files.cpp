#include "text/page_files.h"

#include <stdio.h>

#include <cstdlib>
#include <system_error>

namespace gathrix {

namespace {
constexpr int kCR = '\r';
constexpr int kLF = '\n';
constexpr int kQuote = '"';
constexpr int kComma = ',';

// Consumes an LF that directly follows a CR just read.
void SkipLfAfterCr(std::FILE* f) {
    const int next = std::getc(f);
    if (next != kLF && next != EOF) std::ungetc(next, f);
}
}  // namespace

PageFiles::~PageFiles() { CloseAll(); }

std::FILE* PageFiles::Slot(int number) const {
    if (number < kFirstNumber || number > kLastNumber) return nullptr;
    return files_[static_cast<std::size_t>(number)];
}

int PageFiles::Peek(std::FILE* f) {
    const int ch = std::getc(f);
    if (ch != EOF) std::ungetc(ch, f);
    return ch;
}

bool PageFiles::Open(const std::filesystem::path& name, OpenMode mode, int number) {
    if (number < kFirstNumber || number > kLastNumber || Slot(number) != nullptr) return false;
    std::FILE* f = nullptr;
    if (mode == OpenMode::Input) {
        std::error_code ec;
        if (!std::filesystem::is_regular_file(name, ec)) return false;
        f = std::fopen(name.c_str(), "rb");
    } else {
        // Byte access to an existing file keeps its contents; a missing one is made empty.
        f = std::fopen(name.c_str(), "r+b");
        if (f == nullptr) f = std::fopen(name.c_str(), "w+b");
    }
    if (f == nullptr) return false;
    files_[static_cast<std::size_t>(number)] = f;
    return true;
}

std::optional<std::string> PageFiles::ReadLine(int number) {
    std::FILE* f = Slot(number);
    if (f == nullptr || AtEnd(number)) return std::nullopt;
    // getdelim takes the line up to and including its CR from stdio's buffer a
    // block at a time (NUL bytes included), so that a line of many megabytes,
    // such as a page's line of thumbnails, is read in a few milliseconds per MB.
    char* buffer = nullptr;
    std::size_t capacity = 0;
    const ssize_t got = ::getdelim(&buffer, &capacity, kCR, f);
    std::string line;
    if (got > 0) line.assign(buffer, static_cast<std::size_t>(got));
    std::free(buffer);
    if (!line.empty() && line.back() == kCR) {
        line.pop_back();
        SkipLfAfterCr(f);
    }
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
std::optional<std::string> PageFiles::ReadItem(int number) {
    std::FILE* f = Slot(number);
    if (f == nullptr || AtEnd(number)) return std::nullopt;

    // The file is ours alone: no locking per character.
    const auto next_byte = [f] { return getc_unlocked(f); };
    int ch = next_byte();
    while (ch == ' ' || ch == '\t') ch = next_byte();

    std::string item;
    if (ch == kQuote) {
        for (ch = next_byte(); ch != EOF && ch != kQuote; ch = next_byte()) item.push_back(static_cast<char>(ch));
        if (ch == EOF) return item;
        const int next = next_byte();
        if (next == kCR) {
            SkipLfAfterCr(f);
        } else if (next != kComma && next != kLF && next != EOF) {
            std::ungetc(next, f);
        }
        return item;
    }

    for (; ch != EOF; ch = next_byte()) {
        if (ch == kComma || ch == kLF) break;
        if (ch == kCR) {
            SkipLfAfterCr(f);
            break;
        }
        item.push_back(static_cast<char>(ch));
    }
    return item;
}

// AtEnd answers true as soon as the last byte has been consumed, in both modes
// (our choice for binary files), so the last item of a page is never read twice.
bool PageFiles::AtEnd(int number) {
    std::FILE* f = Slot(number);
    if (f == nullptr) return true;
    return Peek(f) == EOF;
}

std::optional<std::int64_t> PageFiles::Length(int number) {
    std::FILE* f = Slot(number);
    if (f == nullptr) return std::nullopt;
    const long here = std::ftell(f);
    if (here < 0 || std::fseek(f, 0, SEEK_END) != 0) return std::nullopt;
    const long size = std::ftell(f);
    std::fseek(f, here, SEEK_SET);
    if (size < 0) return std::nullopt;
    return static_cast<std::int64_t>(size);
}

void PageFiles::Close(int number) {
    std::FILE* f = Slot(number);
    if (f == nullptr) return;
    std::fclose(f);
    files_[static_cast<std::size_t>(number)] = nullptr;
}

void PageFiles::CloseAll() {
    for (int n = kFirstNumber; n <= kLastNumber; ++n) Close(n);
}

bool PageFiles::Delete(const std::filesystem::path& name) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(std::filesystem::symlink_status(name, ec))) return false;
    return std::filesystem::remove(name, ec);
}

std::optional<std::int64_t> PageFiles::FileLength(const std::filesystem::path& name) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(name, ec)) return std::nullopt;
    const auto size = std::filesystem::file_size(name, ec);
    if (ec) return std::nullopt;
    return static_cast<std::int64_t>(size);
}

}  // namespace gathrix
