#include "download/album_run.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <unordered_set>
#include <utility>

#include "download/cookie_store.h"
#include "download/folder_record.h"
#include "download/picture_names.h"
#include "download/prefetch.h"
#include "net/http_date.h"
#include "net/page_download.h"
#include "net/session.h"
#include "net/sha256.h"
#include "net/transfer.h"
#include "text/page_reader.h"
#include "text/strings.h"

namespace gathrix {

namespace {

net::KeptBodyFiles KeptBodyFilesFor(const std::filesystem::path& folder, const std::string& name) {
    const KeptBodyNames names = KeptBodyNamesFor(name);
    return {folder / names.body, folder / names.info};
}

// Removes what an earlier run kept of a picture that is now stored whole: its
// kept body and record, only when they are plain files (a link is not
// followed, nor removed, and nothing else of that name is touched).
void RemoveKeptBody(const net::KeptBodyFiles& files) {
    for (const std::filesystem::path* path : {&files.body, &files.info}) {
        struct stat status {};
        if (::lstat(path->c_str(), &status) == 0 && S_ISREG(status.st_mode)) ::unlink(path->c_str());
    }
}

// The safe name a picture is stored under, before numbering: its own when
// its reader gave one, else the last part of its address.
std::string SafeNameOf(const FoundPicture& picture) {
    return SafeLocalName(picture.name.empty() ? LastField(picture.address, "/") : picture.name);
}

// Gives the stored picture at path the time of a Last-Modified value; one
// that is not a date leaves the file as it is.
void SetRemoteTime(const std::filesystem::path& path, const std::optional<std::string>& last_modified) {
    const std::optional<std::int64_t> when = last_modified ? net::ParseHttpDate(*last_modified) : std::nullopt;
    if (!when) return;
    const timespec times[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(*when), 0}};  // accessed, modified
    ::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW);
}
}  // namespace

struct AlbumRun::Impl {
    Impl(RunEvents& events, const Settings& settings, const std::filesystem::path& folder) : transfer(session) {
        session.SetRetries(settings.retries, settings.retry_unit);
        session.SetRetryObserver([&events](const net::RetryNotice& notice) {
            events.Retrying(notice.address, notice.why, notice.delay, notice.attempt, notice.attempts);
        });
        if (settings.cookies) session.ShareCookies(settings.cookies->Net());
        if (!settings.ca_file.empty()) session.SetCaFile(settings.ca_file);
        session.SetMaxTime(settings.max_time);
        session.SetRateLimit(settings.rate_limit);
        session.SetPictureWait(settings.picture_wait);
        transfer.SetRequestTimeout(settings.request_timeout);
        transfer.SetSpaced(true);
        // More than one transfer: pictures are fetched ahead, at most `jobs`
        // connections to a host.
        if (settings.jobs > 1) {
            session.SetMaxHostConnections(settings.jobs);
            prefetch.emplace(session, settings.jobs, folder, settings.request_timeout);
        }
    }

    net::Session session;
    net::Transfer transfer;  // the picture whose turn it is, unless it was fetched ahead
    PictureNames names;
    std::optional<Prefetcher> prefetch;
};

AlbumRun::AlbumRun(RunEvents& events, const Settings& settings, std::filesystem::path folder)
    : events_(events),
      settings_(settings),
      folder_(std::move(folder)),
      impl_(std::make_unique<Impl>(events, settings, folder_)) {}

AlbumRun::~AlbumRun() { CancelAll(); }

std::optional<std::string> AlbumRun::FetchPage(const std::string& address, PageRole role) {
    if (Stopped()) return std::nullopt;
    // On the session of the pictures: a picture in flight keeps moving while a
    // page downloads, and a connection to the host serves both.
    Failure failure;
    std::optional<net::SavedPage> page =
        net::DownloadPage(address, folder_, settings_.request_timeout, &impl_->session, &failure);
    if (!page) {
        if (role != PageRole::Album) return std::nullopt;
        if (failure.kind == FailureKind::WriteError) {
            // The page may be fine: it is the folder that takes nothing.
            Failure folder_failure(FailureKind::FolderNotWritable);
            folder_failure.system_error = failure.system_error;
            folder_failure.path = folder_.string();
            events_.FolderFailed(folder_failure);
        } else {
            events_.PageFailed(address, failure);
        }
        return std::nullopt;
    }
    // The page is gone as soon as it has been read; one that cannot be read
    // holds nothing.
    return ReadWholeFile(page->Path()).value_or(std::string());
}

void AlbumRun::UseRecord(FolderRecord* record, std::string album_address) {
    record_ = record;
    album_address_ = std::move(album_address);
    if (!record_) return;
    for (const RecordRow& row : record_->Rows()) impl_->names.Reserve(row.address, row.name);
    impl_->transfer.SetHashBody(true);
    if (impl_->prefetch) impl_->prefetch->SetHashBodies(true);
}

FetchResult AlbumRun::Fetch(const std::string& address, const std::string& name) {
    return FetchOne(address, name, nullptr);
}

FetchResult AlbumRun::FetchOne(const std::string& address, const std::string& name,
                               const net::Validators* only_if_changed) {
    events_.LogAppended("Downloading " + name + "...");

    // A picture started ahead of its turn is taken over as it stands; any other
    // is requested now. A request that cannot be started ends at once as
    // failed; the wait below then wakes the events once and goes on.
    std::unique_ptr<net::Transfer> ahead = impl_->prefetch ? impl_->prefetch->Take(address) : nullptr;
    net::Transfer& transfer = ahead ? *ahead : impl_->transfer;
    if (!ahead) {
        // A kept body that a transfer ahead is writing is not this one's.
        // A picture asked for only if it changed keeps no body: the file is
        // here already.
        std::optional<net::KeptBodyFiles> keep;
        if (settings_.resume && !only_if_changed) keep = KeptBodyFilesFor(folder_, name);
        if (keep && impl_->prefetch && impl_->prefetch->Keeps(*keep)) keep.reset();
        std::optional<net::Validators> validators;
        if (only_if_changed) validators = *only_if_changed;
        transfer.Execute(address, folder_, keep, validators);
    }
    // Sleeps until the transfers need it, or the front end wants Progress,
    // or it is time to look for a stop request.
    std::chrono::milliseconds wake = events_.ProgressEvery().value_or(net::kNoWaitLimit);
    if (stop_) wake = std::min(wake, Cancellation::kStopCheckEvery);
    bool stopped = false;
    do {
        if ((stopped = Stopped())) break;
        TransferProgress progress;
        progress.name = name;
        progress.received = transfer.BodySize();
        progress.total = transfer.AnnouncedSize();
        const Prefetcher* prefetch = impl_->prefetch ? &*impl_->prefetch : nullptr;
        progress.in_flight = 1 + (prefetch ? prefetch->Ahead() : 0);
        progress.album_bytes = bytes_stored_ + progress.received + (prefetch ? prefetch->BytesAhead() : 0);
        progress.stored = stored_;
        events_.Progress(progress);
    } while (transfer.Wait(wake));

    // The count before this picture.
    events_.PicturesStored(stored_);

    FetchResult result;
    result.name = name;
    if (only_if_changed && transfer.NotModified()) {
        // The file here is the server's version: nothing to write.
        transfer.Cancel();
        result.stored = true;
        result.not_modified = true;
        result.bytes = FileLength(folder_ / name).value_or(0);
        ++stored_;
        events_.LogAppended("already here.\r\n");
        return result;
    }
    const bool complete =
        !stopped && transfer.Result() == net::TransferResult::Complete && transfer.Status() < 400;
    result.bytes = transfer.BodySize();
    const bool resumed = complete && transfer.Resumed();
    if (complete) {
        result.sha256 = transfer.BodySha256();
        result.etag = transfer.GetHeader("ETag").value_or(std::string());
        result.last_modified = transfer.GetHeader("Last-Modified").value_or(std::string());
    }
    // The row of the file about to be replaced says so first (see
    // FolderRecord::MarkReplacing); it is put back if nothing replaces it.
    const std::optional<RecordRow> replaced = complete && record_ ? record_->MarkReplacing(name) : std::nullopt;
    result.stored = complete && transfer.Commit(folder_ / name);
    if (replaced && !result.stored) record_->Put(*replaced);
    result.updated = result.stored && only_if_changed;
    if (result.stored && settings_.remote_time) SetRemoteTime(folder_ / name, transfer.GetHeader("Last-Modified"));
    if (result.stored) {
        // A body kept for this name is stale now (one a transfer ahead writes
        // is not).
        const net::KeptBodyFiles kept = KeptBodyFilesFor(folder_, name);
        if (!impl_->prefetch || !impl_->prefetch->Keeps(kept)) RemoveKeptBody(kept);
    } else {
        result.failure = stopped ? Failure(FailureKind::Stopped) : transfer.WhyFailed();
        if (complete && result.failure.kind != FailureKind::WriteError) result.failure = {FailureKind::WriteError};
        if (result.failure.kind == FailureKind::WriteError) result.failure.path = (folder_ / name).string();
    }
    transfer.Cancel();

    if (result.stored) {
        ++stored_;
        bytes_stored_ += result.bytes;
        if (resumed) ++resumed_;
    }
    events_.LogAppended(result.updated ? "updated.\r\n" : result.stored ? "OK\r\n" : "failed.\r\n");
    return result;
}

bool AlbumRun::DropIfSmall(const FetchResult& fetched, std::int64_t threshold) {
    // A file found unchanged passed the check when it was stored.
    if (fetched.not_modified) return false;
    // A fetch that stored nothing brought 0 bytes, whatever an older file of
    // that name may hold.
    const std::filesystem::path path = folder_ / fetched.name;
    const std::int64_t length = fetched.stored ? FileLength(path).value_or(0) : 0;
    if (length >= threshold) return false;

    // Only the file this fetch stored is ours to delete; a failed fetch left
    // whatever was there before untouched, and it stays.
    if (fetched.stored) {
        DeleteFile(path);
        --stored_;
    }
    events_.LogAppended("File " + fetched.name + " failed. Searching for original version...");
    return true;
}

bool AlbumRun::AlreadyHere(const std::string& name, std::int64_t smallest) const {
    if (!settings_.KeepsExisting()) return false;
    // Only a file of ours: a link, a folder or a device of that name is not a
    // picture, and is replaced (or fails) as without skipping.
    struct stat status {};
    return ::lstat((folder_ / name).c_str(), &status) == 0 && S_ISREG(status.st_mode) && status.st_size > 0 &&
           status.st_size >= smallest;
}

bool AlbumRun::ChangedHere(const std::string& address, std::int64_t size) {
    const RecordRow* row = record_->Find(address);
    if (size != row->bytes) return true;
    if (!settings_.verify || row->sha256.empty()) return false;
    // Read once a run: the plan ahead and the picture's turn ask alike.
    const auto [found, added] = changed_here_.try_emplace(address, false);
    if (added) found->second = net::FileSha256(folder_ / row->name) != std::optional<std::string>(row->sha256);
    return found->second;
}

std::optional<net::Validators> AlbumRun::ValidatorsOf(const std::string& address) const {
    const RecordRow* row = record_ ? record_->Find(address) : nullptr;
    if (!row) return std::nullopt;
    net::Validators validators{row->etag, row->last_modified};
    if (!validators.Any()) return std::nullopt;
    return validators;
}

AlbumRun::Turn AlbumRun::TurnOf(const std::string& address, const std::string& name, std::int64_t smallest) {
    const RecordRow* row = record_ ? record_->Find(address) : nullptr;
    // Without a row, or one whose file a run was replacing when it ended:
    // by the name alone.
    if (!row || row->name != name || row->bytes < 0)
        return AlreadyHere(name, smallest) ? Turn::AlreadyHere : Turn::Fetch;
    // On record: its file as the record knows it, gone, or changed here.
    struct stat status {};
    if (::lstat((folder_ / name).c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return Turn::Fetch;
    if (ChangedHere(address, status.st_size)) return settings_.overwrite ? Turn::Fetch : Turn::KeptChanged;
    if (settings_.update && status.st_size >= smallest && ValidatorsOf(address)) return Turn::AskIfChanged;
    return settings_.KeepsExisting() ? Turn::AlreadyHere : Turn::Fetch;
}

std::vector<PlannedPicture> AlbumRun::PlanAhead(const std::vector<FoundPicture>& pictures, std::int64_t smallest) {
    // A copy of the names: each picture gets the same name again at its turn.
    PictureNames names = impl_->names;
    std::unordered_set<std::string> planned;  // names fetched by this plan
    std::vector<PlannedPicture> plan;
    for (const FoundPicture& picture : pictures) {
        const std::string name = names.NameFor(picture.address, SafeNameOf(picture));
        if (settings_.KeepsExisting() && planned.contains(name)) continue;
        const Turn turn = TurnOf(picture.address, name, smallest);
        if (turn == Turn::AlreadyHere || turn == Turn::KeptChanged) continue;
        PlannedPicture ahead{picture.address, std::nullopt};
        if (turn == Turn::AskIfChanged) {
            ahead.only_if_changed = ValidatorsOf(picture.address);
        } else if (settings_.resume && !planned.contains(name)) {
            // One transfer per kept body.
            ahead.keep = KeptBodyFilesFor(folder_, name);
        }
        planned.insert(name);
        plan.push_back(std::move(ahead));
    }
    return plan;
}

// A picture here already, without a row: taken into the record as it is, so
// that from now on it keeps its name.
void AlbumRun::Adopt(const std::string& address, const std::string& name) {
    const std::filesystem::path path = folder_ / name;
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return;
    FetchResult here;
    here.stored = true;
    here.name = name;
    here.bytes = status.st_size;
    here.sha256 = net::FileSha256(path).value_or(std::string());
    // The validators of a row being replaced stay: at worst --update fetches
    // the picture once more.
    if (const RecordRow* row = record_->Find(address)) {
        here.etag = row->etag;
        here.last_modified = row->last_modified;
    }
    Record(address, here);
}

void AlbumRun::Record(const std::string& address, const FetchResult& result) {
    if (!record_ || record_failed_) return;
    RecordRow row;
    row.address = address;
    row.name = result.name;
    row.bytes = result.bytes;
    row.sha256 = result.sha256;
    row.etag = result.etag;
    row.last_modified = result.last_modified;
    row.stored_at = static_cast<std::int64_t>(std::time(nullptr));
    row.album = album_address_;
    if (!record_->Put(std::move(row))) {
        record_failed_ = true;
        events_.RecordNotKept(folder_ / kRecordFileName, record_->Error());
    }
}

void AlbumRun::FetchPictures(const std::vector<FoundPicture>& pictures, Repair repair, std::int64_t smallest) {
    if (Stopped()) return;
    listed_ += static_cast<std::int64_t>(pictures.size());
    events_.PicturesListed(listed_);
    if (impl_->prefetch) impl_->prefetch->Plan(PlanAhead(pictures, smallest));
    for (const FoundPicture& picture : pictures) {
        if (Stopped()) break;
        const std::string name = impl_->names.NameFor(picture.address, SafeNameOf(picture));
        const Turn turn = TurnOf(picture.address, name, smallest);
        if (turn == Turn::AlreadyHere || turn == Turn::KeptChanged) {
            // Fetched ahead on a guess that went wrong: not needed after all.
            if (impl_->prefetch) {
                if (std::unique_ptr<net::Transfer> ahead = impl_->prefetch->Take(picture.address)) ahead->Cancel();
            }
            events_.PicturesStored(stored_);
            events_.LogAppended("Downloading " + name + "...already here.\r\n");
            ++stored_;
            ++counts_.already_here;
            if (turn == Turn::KeptChanged) {
                kept_changed_.push_back(name);
            } else if (const RecordRow* row = record_ ? record_->Find(picture.address) : nullptr;
                       record_ && (!row || row->bytes < 0)) {
                Adopt(picture.address, name);
            }
            metadata_.Record(picture.address, name, true, FileLength(folder_ / name).value_or(0));
            continue;
        }
        const std::optional<net::Validators> validators =
            turn == Turn::AskIfChanged ? ValidatorsOf(picture.address) : std::nullopt;
        FetchResult result = FetchOne(picture.address, name, validators ? &*validators : nullptr);
        if (repair != nullptr) result = repair(*this, picture.photo_link, std::move(result));
        metadata_.Record(picture.address, name, result.stored,
                         result.stored ? FileLength(folder_ / name).value_or(result.bytes) : 0);
        if (!result.stored) {
            ++counts_.missing;
            events_.PictureMissing(picture.address, result.failure);
        } else if (result.not_modified) {
            ++counts_.already_here;
        } else {
            ++(result.updated ? counts_.updated : counts_.fresh);
            Record(picture.address, result);
        }
    }
}

void AlbumRun::ReserveName(const std::string& name) { impl_->names.KeepFree(name); }

void AlbumRun::CancelAll() {
    if (impl_->prefetch) impl_->prefetch->CancelAll();
    impl_->transfer.Cancel();
}

}  // namespace gathrix
