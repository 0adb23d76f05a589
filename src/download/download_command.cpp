#include "download/download_command.h"

#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>

#include "download/album_readers.h"
#include "download/log_format.h"
#include "download/run_state.h"
#include "text/page_files.h"
#include "text/strings.h"

namespace gathrix {

namespace fs = std::filesystem;

namespace {

constexpr const char* kWorkingFolderName = "AlbumDownload";

struct SiteRow {
    const char* marker;
    AlbumReader reader;
};

// Tried in this order; the first marker found in the address wins.
constexpr std::array<SiteRow, 3> kSiteTable{{
    {kPicasaSiteMarker, &ReadPicasaAlbum},
    {kFlickrSiteMarker, &ReadFlickrSet},
    {kWebshotsSiteMarker, &ReadWebshotsAlbum},
}};

// Makes the working folder when no entry of that name exists and enters it.
// False when either fails (a plain file of that name, a dangling link, no
// permission): the run must then not write anywhere, least of all into the
// starting directory, where names chosen by a server could replace the user's
// own files.
bool EnterWorkingFolder() {
    std::error_code ec;
    if (fs::symlink_status(kWorkingFolderName, ec).type() == fs::file_type::not_found) {
        fs::create_directory(kWorkingFolderName, ec);
    }
    fs::current_path(kWorkingFolderName, ec);
    return !ec;
}

void ReturnTo(const fs::path& starting_directory) {
    std::error_code ec;
    if (!starting_directory.empty()) fs::current_path(starting_directory, ec);
}

fs::path CurrentDirectoryOr(const fs::path& fallback) {
    std::error_code ec;
    fs::path here = fs::current_path(ec);
    return ec ? fallback : here;
}

// The last step of every run that got past the empty-address test.
DownloadOutcome EndRun(FrontEnd& front_end, const fs::path& starting_directory, DownloadOutcome outcome) {
    ReturnTo(starting_directory);
    front_end.EndProgram();
    return outcome;
}

}  // namespace

int SiteNumber(std::string_view album_address) {
    for (std::size_t row = 0; row < kSiteTable.size(); ++row) {
        if (Contains(album_address, kSiteTable[row].marker, true)) return static_cast<int>(row) + 1;
    }
    return 0;
}

DownloadOutcome RunDownload(FrontEnd& front_end, net::Transfer& inet, const Settings& settings) {
    return RunDownload(front_end, inet, settings, [] { return std::chrono::system_clock::now(); });
}

DownloadOutcome RunDownload(FrontEnd& front_end, net::Transfer& inet, const Settings& settings,
                        const WallClock& clock) {
    inet.SetRequestTimeout(settings.request_timeout);
    inet.GetSession().SetRetries(settings.retries, settings.retry_unit);

    const fs::path starting_directory = CurrentDirectoryOr(fs::path());
    const bool in_folder = EnterWorkingFolder();

    const std::string album_address(TrimBlanks(front_end.AddressText()));
    if (album_address.empty()) {
        ReturnTo(starting_directory);
        front_end.FocusAddress();
        return DownloadOutcome::EmptyAddress;
    }

    front_end.DisableButtons();

    if (!in_folder) {
        front_end.MessageBox(kNoFolderMessage, "Error", BoxIcon::Critical);
        return EndRun(front_end, starting_directory, DownloadOutcome::NoFolder);
    }

    const int site_number = SiteNumber(album_address);
    if (site_number == 0) {
        front_end.MessageBox("Invalid URL !", "Error", BoxIcon::Critical);
        return EndRun(front_end, starting_directory, DownloadOutcome::InvalidUrl);
    }
    front_end.ClearLog();

    PageFiles files;
    RunState run(front_end, inet, settings, files);
    run.working_folder = CurrentDirectoryOr(fs::path("."));
    run.album_address = album_address;
    run.site_number = site_number;
    run.start_time = clock();
    run.names.emplace(run.working_folder);

    // More than one transfer: pictures are fetched ahead, at most `jobs`
    // connections to a host.
    std::optional<Prefetcher> prefetch;
    if (settings.jobs > 1) {
        inet.GetSession().SetMaxHostConnections(settings.jobs);
        prefetch.emplace(inet.GetSession(), settings.jobs, run.working_folder, settings.request_timeout);
        run.prefetch = &*prefetch;
    }

    front_end.ReplaceLog("Start time:" + FormatTimeOfDay(run.start_time) + "\r\n" +
                         "Destination folder:" + run.working_folder.string() + "\r\n");

    const ReaderEnd reader_end = kSiteTable[static_cast<std::size_t>(site_number - 1)].reader(run);
    files.CloseAll();
    if (prefetch) prefetch->CancelAll();
    if (reader_end == ReaderEnd::Rejected) return EndRun(front_end, starting_directory, DownloadOutcome::Rejected);
    if (run.pictures_listed == 0) front_end.NoPicturesListed(album_address);

    // Completion report.
    const auto end_time = clock();
    front_end.AppendLog("\r\nEnd time:" + FormatTimeOfDay(end_time));
    front_end.AppendLog("\r\nToatal time:" + FormatNumber(ElapsedSeconds(run.start_time, end_time)) + " seconds");
    front_end.SetLabel(ProgressCaption(run.file_counter));
    // The album pages were saved under private names and are gone already; a
    // picture that happens to be called "test.htm" stays.
    ReturnTo(starting_directory);

    front_end.MessageBox(FormatNumber(run.file_counter) + " files successfully downloaded!", "Finished",
                         BoxIcon::None);
    // The folder in which the pictures actually are: normally "AlbumDownload"
    // below the starting directory.
    if (run.file_counter > 0) front_end.OpenFolder(run.working_folder);

    return EndRun(front_end, starting_directory, DownloadOutcome::Completed);
}

}  // namespace gathrix
