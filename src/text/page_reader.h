#pragma once
// Saved web pages are read from memory: a page's bytes are taken whole with
// ReadWholeFile, then cut into lines or comma-separated items by a PageReader.
//
// Every operation reports failure as a result (false, std::nullopt); nothing throws.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace gathrix {

// Reads a page's bytes line by line or item by item from the front. Lines and
// items may be mixed; each read goes on where the one before it stopped.
class PageReader {
public:
    // The bytes must outlive the reader.
    explicit PageReader(std::string_view bytes);

    // The bytes up to the next CR or CR LF; the terminator is consumed and not
    // returned. A bare LF does not end a line. nullopt when already at the end.
    std::optional<std::string> ReadLine();

    // The next comma-separated item (see page_reader.cpp for the exact rules).
    // nullopt when already at the end.
    std::optional<std::string> ReadItem();

    // True once every byte has been consumed, so the last item of a page is
    // never read twice.
    bool AtEnd() const;

private:
    // Consumes an LF that directly follows a CR just consumed.
    void SkipLfAfterCr();

    std::string_view bytes_;
    std::size_t at_ = 0;
};

// Reads items until one holds marker (letter case aside with ignore_case) and
// returns that item; nullopt when the page ends first.
std::optional<std::string> NextItemHolding(PageReader& reader, std::string_view marker, bool ignore_case = false);

// The whole of a regular file (a link to one is followed), or nullopt when it is
// missing, not a regular file or unreadable.
std::optional<std::string> ReadWholeFile(const std::filesystem::path& path);

// Size of a regular file without opening or creating it; nullopt when it is
// missing or not a regular file.
std::optional<std::int64_t> FileLength(const std::filesystem::path& path);

// Deletes a regular file; a link or a directory is neither followed nor removed.
// False when no regular file was there (or it could not be removed).
bool DeleteFile(const std::filesystem::path& path);

}  // namespace gathrix
