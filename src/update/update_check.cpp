#include "update/update_check.h"

#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <system_error>

#include "net/page_download.h"
#include "text/page_reader.h"
#include "update/version.h"

namespace gathrix {

namespace {

namespace fs = std::filesystem;

// A directory of our own under the system's temporary folder, removed with its
// contents when the object goes. The version file is saved there, so that a
// "version.txt" the user keeps in the current directory is neither read nor
// deleted, and two checks running at once cannot see each other's file.
class PrivateDir {
public:
    PrivateDir() {
        std::error_code ec;
        fs::path base = fs::temp_directory_path(ec);
        if (ec) base = "/tmp";
        std::string pattern = (base / "gathrix-update-XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
    }
    ~PrivateDir() {
        if (path_.empty()) return;
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    PrivateDir(const PrivateDir&) = delete;
    PrivateDir& operator=(const PrivateDir&) = delete;

    bool Ok() const { return !path_.empty(); }
    const fs::path& Path() const { return path_; }

private:
    fs::path path_;
};

std::optional<std::string> FetchPublishedVersion(const std::string& address) {
    PrivateDir dir;
    if (!dir.Ok()) return std::nullopt;
    const fs::path file = dir.Path() / "version.txt";
    // DownloadToFile leaves no file behind for an error status or a broken
    // transfer, so an error page is never taken for a version.
    if (!net::DownloadToFile(address, file)) return std::nullopt;
    const std::optional<std::string> bytes = ReadWholeFile(file);
    DeleteFile(file);
    if (!bytes) return std::nullopt;
    return ParseVersionFile(*bytes);
}

}  // namespace

std::optional<std::string> ParseVersionFile(std::string_view bytes) {
    PageReader reader(bytes);
    std::optional<std::string> version = reader.ReadItem();
    if (!version || version->empty()) return std::nullopt;
    return version;
}

std::optional<std::vector<std::uint32_t>> VersionNumbers(std::string_view version) {
    const std::size_t first = version.find_first_not_of(" \t");
    if (first == std::string_view::npos) return std::nullopt;
    version = version.substr(first, version.find_last_not_of(" \t") + 1 - first);
    if (version.front() == 'v' || version.front() == 'V') version.remove_prefix(1);
    constexpr std::size_t kMostDigits = 9;  // so that every number fits
    std::vector<std::uint32_t> numbers;
    for (;;) {
        std::size_t digits = 0;
        std::uint32_t number = 0;
        while (digits < version.size() && version[digits] >= '0' && version[digits] <= '9') {
            number = number * 10 + static_cast<std::uint32_t>(version[digits] - '0');
            ++digits;
        }
        if (digits == 0 || digits > kMostDigits) return std::nullopt;
        numbers.push_back(number);
        version.remove_prefix(digits);
        if (version.empty()) return numbers;
        if (version.front() != '.') return std::nullopt;
        version.remove_prefix(1);
    }
}

std::optional<bool> NewerVersion(std::string_view published, std::string_view ours) {
    const std::optional<std::vector<std::uint32_t>> theirs = VersionNumbers(published);
    const std::optional<std::vector<std::uint32_t>> mine = VersionNumbers(ours);
    if (!theirs || !mine) return std::nullopt;
    for (std::size_t i = 0; i < std::max(theirs->size(), mine->size()); ++i) {
        const std::uint32_t a = i < theirs->size() ? (*theirs)[i] : 0;
        const std::uint32_t b = i < mine->size() ? (*mine)[i] : 0;
        if (a != b) return a > b;
    }
    return false;
}

bool CheckForUpdate(RunEvents& ui, const std::string& site_url) {
    ui.LogReplaced("Contacting server, please wait...");
    const std::optional<std::string> published = FetchPublishedVersion(site_url + kVersionFilePath);
    // What does not read as a version tells nothing about ours: the check failed.
    const std::optional<bool> newer = published ? NewerVersion(*published, kProgramVersion) : std::nullopt;
    if (!newer) {
        ui.LogAppended("failed.");
        ui.Message("Our page cannot be contacted", "Error", BoxIcon::Critical);
        ui.LogCleared();
        return false;
    }
    ui.LogAppended("OK");
    if (*newer) {
        ui.Message("New version available ! Please visit our site to download", "New version", BoxIcon::None);
    } else {
        ui.Message("No new version available", "Update checked", BoxIcon::None);
    }
    ui.LogCleared();
    return true;
}

}  // namespace gathrix
