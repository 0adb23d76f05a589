#include "download/download_command.h"

#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <memory>
#include <cerrno>
#include <optional>
#include <string>
#include <system_error>

#include "download/album_metadata.h"
#include "download/folder_record.h"
#include "download/key_hiding_events.h"
#include "download/log_format.h"
#include "download/sites/album_readers.h"
#include "net/temp_files.h"
#include "text/strings.h"

namespace gathrix {

namespace fs = std::filesystem;

namespace {

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

// The working folder as the run found it.
struct WorkingFolder {
    int error = 0;      // 0: a folder the run can go into; else why not (errno)
    bool made = false;  // this run made it
};

// Makes the working folder when no entry of that name exists, and checks that
// it is a folder the run can go into (a link to one is taken as it always
// was). An error when either fails (a plain file of that name, a dangling
// link, no permission): the run must then not write anywhere, least of all
// into the starting directory, where names chosen by a server could replace
// the user's own files.
WorkingFolder MakeWorkingFolder(const fs::path& folder) {
    WorkingFolder result;
    std::error_code ec;
    if (fs::symlink_status(folder, ec).type() == fs::file_type::not_found) {
        result.made = fs::create_directory(folder, ec);
        result.error = ec.value();
    }
    struct stat status {};
    if (::stat(folder.c_str(), &status) != 0) {
        if (result.error == 0) result.error = errno;
    } else if (!S_ISDIR(status.st_mode)) {
        result.error = ENOTDIR;
    } else if (::access(folder.c_str(), X_OK) != 0) {
        result.error = errno;
    }
    return result;
}

// Removes the working folder when this run made it and left it empty: an
// address that was refused leaves nothing behind.
void RemoveIfMadeEmpty(const fs::path& folder, const WorkingFolder& working) {
    std::error_code ec;
    if (working.made) fs::remove(folder, ec);  // an empty folder only
}

// The folder as the log names it: absolute, with links resolved.
fs::path ResolvedFolder(const fs::path& folder) {
    std::error_code ec;
    fs::path resolved = fs::canonical(folder, ec);
    return ec ? fs::absolute(folder, ec) : resolved;
}

// The last step of every run that got past the empty-address test.
DownloadOutcome EndRun(RunEvents& events, DownloadOutcome outcome) {
    events.RunEnded();
    return outcome;
}

// Hooks a run into the front end's cancellation for as long as it lives.
class CancelHook {
public:
    CancelHook(Cancellation* cancel, AlbumRun& run) : cancel_(cancel) {
        if (cancel_)
            cancel_->Hook([&run] {
                run.CancelAll();
                net::RemoveTemporaryFiles();
            });
    }
    ~CancelHook() {
        if (cancel_) cancel_->Unhook();
    }
    CancelHook(const CancelHook&) = delete;
    CancelHook& operator=(const CancelHook&) = delete;

private:
    Cancellation* cancel_;
};

// The folder's record for a run: the one it has, or a new one when the run
// keeps one. The run stops (nullopt) when another run holds it; one that
// cannot be read is set aside and replaced, and one that cannot be made at
// all leaves the run without a record.
struct RunRecord {
    std::unique_ptr<FolderRecord> record;
    bool made = false;  // this run made it
};

std::optional<RunRecord> OpenRecord(RunEvents& events, const fs::path& folder, const Settings& settings) {
    RunRecord run_record;
    struct stat status {};
    run_record.made = ::lstat((folder / kRecordFileName).c_str(), &status) != 0;
    FolderRecord::Opening opening = FolderRecord::Open(folder, settings.KeepsExisting(), settings.record_wait);
    if (opening.set_aside) {
        events.RecordSetAside(opening.set_aside->from, opening.set_aside->to, opening.set_aside->why);
        run_record.made = true;
    }
    switch (opening.result) {
        case FolderRecord::OpenResult::Opened:
            run_record.record = std::move(opening.record);
            break;
        case FolderRecord::OpenResult::Locked:
            return std::nullopt;
        case FolderRecord::OpenResult::Failed:
            events.RecordNotKept(folder / kRecordFileName, opening.error);
            break;
        case FolderRecord::OpenResult::None:
            break;
    }
    return run_record;
}

// A record this run made and then wrote nothing into goes again, so that a
// refused address leaves the folder as it found it.
void DropIfMadeEmpty(RunRecord& run_record) {
    if (run_record.made && run_record.record) run_record.record->RemoveIfEmpty();
    run_record.record.reset();
}

}  // namespace

int SiteNumber(std::string_view album_address) {
    for (std::size_t row = 0; row < kSiteTable.size(); ++row) {
        if (Contains(album_address, kSiteTable[row].marker, true)) return static_cast<int>(row) + 1;
    }
    return 0;
}

void RemovePartialFiles() { net::RemoveTemporaryFiles(); }

namespace {

// The names album.json gives the services, by site number.
constexpr std::array<const char*, 3> kServiceNames{"picasa", "flickr", "webshots"};

// album.json written into the run's folder at the album's end; one that
// cannot be written is told, and the album stays as it is.
void WriteMetadata(RunEvents& events, AlbumRun& run, const std::string& address, int site_number,
                   std::chrono::system_clock::time_point now) {
    const std::string text =
        AlbumJson(run.Metadata(), address, kServiceNames[static_cast<std::size_t>(site_number - 1)], now);
    if (const int error = WriteAlbumJson(run.Folder(), text); error != 0) {
        Failure why(FailureKind::WriteError);
        why.system_error = error;
        why.path = (run.Folder() / kAlbumJsonName).string();
        events.FolderFailed(why);
    }
}

DownloadOutcome RunShownDownload(RunEvents& events, std::string_view typed_address, const fs::path& folder,
                                 const Settings& settings, Cancellation* cancel, const WallClock& clock);

}  // namespace

DownloadOutcome RunDownload(RunEvents& events, std::string_view typed_address, const fs::path& folder,
                            const Settings& settings, Cancellation* cancel, const WallClock& clock) {
    // A run that holds an API key tells its front end nothing that shows it.
    if (settings.flickr_api_key.empty()) return RunShownDownload(events, typed_address, folder, settings, cancel, clock);
    KeyHidingEvents hiding(events, settings.flickr_api_key);
    return RunShownDownload(hiding, typed_address, folder, settings, cancel, clock);
}

namespace {

DownloadOutcome RunShownDownload(RunEvents& events, std::string_view typed_address, const fs::path& folder,
                                 const Settings& settings, Cancellation* cancel, const WallClock& clock) {
    const auto now = [&clock] { return clock ? clock() : std::chrono::system_clock::now(); };
    const WorkingFolder working = MakeWorkingFolder(folder);

    const std::string album_address(TrimBlanks(typed_address));
    if (album_address.empty()) return DownloadOutcome::EmptyAddress;

    events.RunStarted();
    if (working.error != 0) {
        events.Message(kNoFolderMessage, "Error", BoxIcon::Critical);
        Failure why(FailureKind::FolderNotMade);
        why.system_error = working.error;
        std::error_code ec;
        why.path = fs::absolute(folder, ec).lexically_normal().string();
        events.FolderFailed(why);
        return EndRun(events, DownloadOutcome::NoFolder);
    }

    const int site_number = SiteNumber(album_address);
    if (site_number == 0) {
        RemoveIfMadeEmpty(folder, working);
        events.Message("Invalid URL !", "Error", BoxIcon::Critical);
        return EndRun(events, DownloadOutcome::InvalidUrl);
    }
    std::optional<RunRecord> run_record = OpenRecord(events, ResolvedFolder(folder), settings);
    if (!run_record) {
        events.Message(kFolderInUseMessage, "Error", BoxIcon::Critical);
        Failure why(FailureKind::FolderInUse);
        why.path = ResolvedFolder(folder).string();
        events.FolderFailed(why);
        return EndRun(events, DownloadOutcome::NoFolder);
    }
    events.LogCleared();

    AlbumRun run(events, settings, ResolvedFolder(folder));
    if (settings.write_metadata) run.ReserveName(kAlbumJsonName);
    run.UseRecord(run_record->record.get(), album_address);
    const CancelHook hook(cancel, run);
    run.StopWhen(cancel);
    const auto start_time = now();
    events.LogReplaced("Start time:" + FormatTimeOfDay(start_time) + "\r\n" +
                       "Destination folder:" + run.Folder().string() + "\r\n");

    AlbumReader reader = kSiteTable[static_cast<std::size_t>(site_number - 1)].reader;
    if (reader == &ReadFlickrSet && !settings.flickr_api_key.empty()) reader = &ReadFlickrApi;
    const ReaderEnd reader_end = reader(run, album_address);
    run.CancelAll();
    if (reader_end == ReaderEnd::Rejected) {
        DropIfMadeEmpty(*run_record);
        RemoveIfMadeEmpty(folder, working);
        return EndRun(events, DownloadOutcome::Rejected);
    }
    if (run.Listed() == 0) events.NoPicturesListed(album_address);
    if (settings.resume) events.PicturesResumed(run.Resumed());
    if (run_record->record) {
        if (!run.KeptChanged().empty()) events.PicturesKeptChanged(run.KeptChanged());
        events.RecordSummary(album_address, run.Counts());
    }
    DropIfMadeEmpty(*run_record);

    // Completion report.
    const auto end_time = now();
    if (settings.write_metadata) WriteMetadata(events, run, album_address, site_number, end_time);
    events.LogAppended("\r\nEnd time:" + FormatTimeOfDay(end_time));
    events.LogAppended("\r\nToatal time:" + FormatNumber(ElapsedSeconds(start_time, end_time)) + " seconds");
    events.PicturesStored(run.Stored());
    events.Message(FormatNumber(run.Stored()) + " files successfully downloaded!", "Finished", BoxIcon::None);
    events.AlbumFinished(run.Stored(), run.Folder());
    return EndRun(events, DownloadOutcome::Completed);
}

}  // namespace

}  // namespace gathrix
