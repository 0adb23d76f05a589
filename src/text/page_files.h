#pragma once
// Saved web pages are read back one line or one item at a time through four
// fixed file numbers: 1 the album page, 2 the picture being written, 3 a
// full-size page or the version file, 4 a size page or a picture being measured.
//
// Every operation reports failure as a result (false, std::nullopt); nothing throws.

#include <array>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>

namespace gathrix {

enum class OpenMode {
    Input,   // sequential input: the file must exist
    Binary,  // byte access: a missing file is created empty
};

class PageFiles {
public:
    static constexpr int kFirstNumber = 1;
    static constexpr int kLastNumber = 4;

    PageFiles() = default;
    ~PageFiles();
    PageFiles(const PageFiles&) = delete;
    PageFiles& operator=(const PageFiles&) = delete;

    // Opens name (relative to the current directory) under number. Fails when the
    // number is out of range or already in use, or when an Input file is missing.
    bool Open(const std::filesystem::path& name, OpenMode mode, int number);

    // The characters up to the next CR or CR LF; the terminator is consumed and not
    // returned. A bare LF does not end a line. nullopt when already at the end.
    std::optional<std::string> ReadLine(int number);

    // The next comma-separated item (see page_files.cpp for the exact rules).
    // nullopt when already at the end.
    std::optional<std::string> ReadItem(int number);

    // True once the read position is at the end of the file. A number that is not
    // open also answers true, so that reading loops end on it.
    bool AtEnd(int number);

    // Size of the open file in bytes.
    std::optional<std::int64_t> Length(int number);

    void Close(int number);
    void CloseAll();

    // Deletes a file in the current directory; false when it was not there.
    static bool Delete(const std::filesystem::path& name);

    // Size of a file without opening or creating it; nullopt when it is missing
    // or not a regular file.
    static std::optional<std::int64_t> FileLength(const std::filesystem::path& name);

private:
    std::FILE* Slot(int number) const;
    int Peek(std::FILE* f);

    std::array<std::FILE*, kLastNumber + 1> files_{};
};

}  // namespace gathrix
