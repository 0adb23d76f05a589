#pragma once
// Blocking downloads of pages and small files: a page into a private scratch
// file that goes with its object, or an address straight into a file.

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>

#include "events/failure.h"
#include "net/session.h"

namespace gathrix::net {

// Blocking download of address into path. Succeeds only for a complete body with
// an HTTP status below 400; on failure path is left as it was before the call (an
// older file of that name survives) and no partial file remains. A transfer that
// makes no progress for stall_timeout is aborted.
bool DownloadToFile(const std::string& address, const std::filesystem::path& path,
                    std::chrono::milliseconds stall_timeout = std::chrono::seconds(60));

// A page saved under a private temporary name in a folder: hidden, created
// exclusively, so that it never shares a name with anything else there. The file
// is removed with the object (or by RemoveTemporaryFiles() when the run is
// interrupted).
class SavedPage {
public:
    explicit SavedPage(std::filesystem::path path) : path_(std::move(path)) {}
    SavedPage(SavedPage&& other) noexcept : path_(std::exchange(other.path_, std::filesystem::path())) {}
    SavedPage& operator=(SavedPage&& other) noexcept;
    SavedPage(const SavedPage&) = delete;
    SavedPage& operator=(const SavedPage&) = delete;
    ~SavedPage();

    const std::filesystem::path& Path() const { return path_; }
    // Gives up the file without removing it (after it has been renamed away).
    void Release() { path_.clear(); }

private:
    std::filesystem::path path_;
};

// Blocking download of a page into a new SavedPage in dir. Succeeds only for a
// complete body with an HTTP status below 400; nullopt otherwise, and then no
// file is left. A transfer that makes no progress for stall_timeout is aborted.
// On a session, the other requests in flight there go on while it waits.
// When it fails and failure is given, *failure says why.
std::optional<SavedPage> DownloadPage(const std::string& address, const std::filesystem::path& dir,
                                      std::chrono::milliseconds stall_timeout = std::chrono::seconds(60),
                                      Session* session = nullptr, Failure* failure = nullptr);

}  // namespace gathrix::net
