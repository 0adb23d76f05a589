#include "update/update_check.h"

#include <stdlib.h>

#include <filesystem>
#include <optional>
#include <system_error>

#include "net/page_download.h"
#include "net/session.h"
#include "net/transfer.h"
#include "text/page_files.h"
#include "update/version.h"

namespace gathrix {

namespace {

namespace fs = std::filesystem;

constexpr int kVersionFileNumber = 3;

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

// The first item of the version file, or nothing when the file is missing or
// holds no version at all.
std::optional<std::string> ReadPublishedVersion(const fs::path& file) {
    PageFiles files;
    if (!files.Open(file, OpenMode::Input, kVersionFileNumber)) return std::nullopt;
    std::optional<std::string> item = files.ReadItem(kVersionFileNumber);
    files.Close(kVersionFileNumber);
    PageFiles::Delete(file);
    if (!item || item->empty()) return std::nullopt;
    return item;
}

std::optional<std::string> FetchPublishedVersion(const std::string& address) {
    PrivateDir dir;
    if (!dir.Ok()) return std::nullopt;
    const fs::path file = dir.Path() / "version.txt";
    // download_to_file leaves no file behind for an error status or a broken
    // transfer, so an error page is never taken for a version.
    if (!net::download_to_file(address, file)) return std::nullopt;
    return ReadPublishedVersion(file);
}

}  // namespace

bool CheckForUpdate(FrontEnd& ui, const std::string& site_url) {
    ui.ReplaceLog("Contacting server, please wait...");
    const std::optional<std::string> published = FetchPublishedVersion(site_url + kVersionFilePath);
    if (!published) {
        ui.AppendLog("failed.");
        ui.MessageBox("Our page cannot be contacted", "Error", BoxIcon::Critical);
        ui.ClearLog();
        return false;
    }
    ui.AppendLog("OK");
    if (*published != kProgramVersion) {
        ui.MessageBox("New version available ! Please visit our site to download", "New version", BoxIcon::None);
    } else {
        ui.MessageBox("No new version available", "Update checked", BoxIcon::None);
    }
    ui.ClearLog();
    return true;
}

}  // namespace gathrix
