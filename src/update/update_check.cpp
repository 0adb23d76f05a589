#include "update/update_check.h"

#include <stdlib.h>

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
    // download_to_file leaves no file behind for an error status or a broken
    // transfer, so an error page is never taken for a version.
    if (!net::download_to_file(address, file)) return std::nullopt;
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

bool CheckForUpdate(RunEvents& ui, const std::string& site_url) {
    ui.LogReplaced("Contacting server, please wait...");
    const std::optional<std::string> published = FetchPublishedVersion(site_url + kVersionFilePath);
    if (!published) {
        ui.LogAppended("failed.");
        ui.Message("Our page cannot be contacted", "Error", BoxIcon::Critical);
        ui.LogCleared();
        return false;
    }
    ui.LogAppended("OK");
    if (*published != kProgramVersion) {
        ui.Message("New version available ! Please visit our site to download", "New version", BoxIcon::None);
    } else {
        ui.Message("No new version available", "Update checked", BoxIcon::None);
    }
    ui.LogCleared();
    return true;
}

}  // namespace gathrix
