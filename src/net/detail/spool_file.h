#pragma once
// Files written in one go under a private temporary name and put in place
// only when whole: picture bodies on their way in, and small files such as a
// cookie jar.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>

namespace gathrix::net::detail {

// Writes all of data to fd, going on after interruptions; false on an error.
bool WriteAll(int fd, const char* data, std::size_t size);

// A new private file ".gathrix-XXXXXX" + suffix in a folder, written
// sequentially. It disappears with the object unless MoveTo() has placed it
// under its final name, so an interrupted body never survives.
class SpoolFile {
public:
    // Creates the file in dir (the current directory when dir is empty).
    static std::optional<SpoolFile> Create(const std::filesystem::path& dir, const std::string& suffix = ".part");

    SpoolFile(SpoolFile&& other) noexcept;
    SpoolFile& operator=(SpoolFile&& other) noexcept;
    SpoolFile(const SpoolFile&) = delete;
    SpoolFile& operator=(const SpoolFile&) = delete;
    ~SpoolFile();

    // Appends bytes; false when they could not all be written.
    bool Write(const char* data, std::size_t size);
    std::int64_t Size() const { return size_; }
    const std::filesystem::path& Path() const { return path_; }
    // Makes the file readable and writable by its owner only.
    bool MakePrivate();

    // Closes the file (flushing it) and renames it to target, replacing any file
    // of that name in one step. On failure the spool file is removed, and errno
    // says why.
    bool MoveTo(const std::filesystem::path& target);
    // Closes and removes the file.
    void Discard();
    // Closes the file and hands it over, still registered as temporary: the
    // caller removes it (RemoveTemporaryFile) when done with it.
    std::optional<std::filesystem::path> Keep();

private:
    SpoolFile(int fd, std::filesystem::path path) : fd_(fd), path_(std::move(path)) {}
    bool CloseFd();

    int fd_ = -1;
    std::filesystem::path path_;
    std::int64_t size_ = 0;
};

}  // namespace gathrix::net::detail
