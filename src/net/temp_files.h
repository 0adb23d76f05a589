#pragma once
// Every temporary file the program makes (picture bodies on their way in, saved
// pages) is registered here while it exists, so that an interrupted run can
// remove them all: the command line does it from its signal handlers, the
// window when Exit is pressed.

#include <filesystem>
#include <optional>
#include <string>

namespace gathrix::net {

// A new file with a private name ".gathrix-XXXXXX" + suffix in dir (the current
// directory when dir is empty), created exclusively and open for writing, and
// registered. Returns the open descriptor and the absolute path.
struct NewTemporaryFile {
    int fd = -1;
    std::filesystem::path path;
};
std::optional<NewTemporaryFile> CreateTemporaryFile(const std::filesystem::path& dir, const std::string& suffix);

// Renames a registered temporary file to target (replacing a file of that name
// in one step) and forgets it. No interruption can come between the two.
bool RenameTemporaryFile(const std::filesystem::path& path, const std::filesystem::path& target);

// Registers an existing file as temporary, or forgets one without removing it
// (a file that is to outlive an interruption from now on).
bool RegisterTemporaryFile(const std::filesystem::path& path);
void ForgetTemporaryFile(const std::filesystem::path& path);

// Removes a registered temporary file and forgets it.
void RemoveTemporaryFile(const std::filesystem::path& path);

// Removes every registered temporary file. Safe to call from a signal handler
// (it only calls unlink), and at any moment of a run.
void RemoveTemporaryFiles() noexcept;

}  // namespace gathrix::net
