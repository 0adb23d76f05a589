#include "download/album_run.h"

#include <chrono>
#include <utility>

#include "download/picture_names.h"
#include "download/prefetch.h"
#include "net/page_download.h"
#include "net/session.h"
#include "net/transfer.h"
#include "text/page_reader.h"
#include "text/strings.h"

namespace gathrix {

namespace {
// Longest sleep on the transfers' sockets between two rounds of events.
constexpr std::chrono::milliseconds kWakeInterval{20};
}  // namespace

struct AlbumRun::Impl {
    Impl(const Settings& settings, const std::filesystem::path& folder) : transfer(session), names(folder) {
        session.SetRetries(settings.retries, settings.retry_unit);
        transfer.SetRequestTimeout(settings.request_timeout);
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
      impl_(std::make_unique<Impl>(settings, folder_)) {}

AlbumRun::~AlbumRun() { CancelAll(); }

std::optional<std::string> AlbumRun::FetchPage(const std::string& address, PageRole role) {
    // On the session of the pictures: a picture in flight keeps moving while a
    // page downloads, and a connection to the host serves both.
    Failure failure;
    std::optional<net::SavedPage> page =
        net::download_page(address, folder_, settings_.request_timeout, &impl_->session, &failure);
    if (!page) {
        if (role == PageRole::Album) events_.PageFailed(address, failure);
        return std::nullopt;
    }
    // The page is gone as soon as it has been read; one that cannot be read
    // holds nothing.
    return ReadWholeFile(page->Path()).value_or(std::string());
}

FetchResult AlbumRun::Fetch(const std::string& address, const std::string& name) {
    events_.LogAppended("Downloading " + name + "...");

    // A picture started ahead of its turn is taken over as it stands; any other
    // is requested now. A request that cannot be started ends at once as
    // failed; the wait below then wakes the events once and goes on.
    std::unique_ptr<net::Transfer> ahead = impl_->prefetch ? impl_->prefetch->Take(address) : nullptr;
    net::Transfer& transfer = ahead ? *ahead : impl_->transfer;
    if (!ahead) transfer.Execute(address, folder_);
    do {
        TransferProgress progress;
        progress.name = name;
        progress.received = transfer.BodySize();
        progress.total = transfer.AnnouncedSize();
        const Prefetcher* prefetch = impl_->prefetch ? &*impl_->prefetch : nullptr;
        progress.in_flight = 1 + (prefetch ? prefetch->Ahead() : 0);
        progress.album_bytes = bytes_stored_ + progress.received + (prefetch ? prefetch->BytesAhead() : 0);
        progress.stored = stored_;
        events_.Progress(progress);
    } while (transfer.Wait(kWakeInterval));

    // The count before this picture.
    events_.PicturesStored(stored_);

    FetchResult result;
    result.name = name;
    const bool complete = transfer.Result() == net::TransferResult::Complete && transfer.Status() < 400;
    result.bytes = transfer.BodySize();
    result.stored = complete && transfer.Commit(folder_ / name);
    if (!result.stored) result.failure = complete ? Failure(FailureKind::WriteError) : transfer.WhyFailed();
    transfer.Cancel();

    if (result.stored) {
        ++stored_;
        bytes_stored_ += result.bytes;
    }
    events_.LogAppended(result.stored ? "OK\r\n" : "failed.\r\n");
    return result;
}

bool AlbumRun::DropIfSmall(const FetchResult& fetched, std::int64_t threshold) {
    // A fetch that stored nothing brought 0 bytes, whatever an older file of
    // that name may hold.
    const std::filesystem::path path = folder_ / fetched.name;
    const std::int64_t length = fetched.stored ? FileLength(path).value_or(0) : 0;
    if (length >= threshold) return false;

    // Only the file this fetch stored is ours to delete; a failed fetch left
    // whatever was there before untouched, and it stays.
    if (fetched.stored) {
        DeleteFile(path);
        impl_->names.Freed(fetched.name);
        --stored_;
    }
    events_.LogAppended("File " + fetched.name + " failed. Searching for original version...");
    return true;
}

void AlbumRun::FetchPictures(const std::vector<FoundPicture>& pictures, Repair repair) {
    listed_ += static_cast<std::int64_t>(pictures.size());
    if (impl_->prefetch) {
        std::vector<std::string> addresses;
        for (const FoundPicture& picture : pictures) addresses.push_back(picture.address);
        impl_->prefetch->Plan(addresses);
    }
    for (const FoundPicture& picture : pictures) {
        const std::string name = impl_->names.NameFor(picture.address, SafeLocalName(LastField(picture.address, "/")));
        FetchResult result = Fetch(picture.address, name);
        if (repair != nullptr) result = repair(*this, picture.photo_link, std::move(result));
        if (result.stored) {
            impl_->names.Stored(picture.address, name);
        } else {
            events_.PictureMissing(picture.address, result.failure);
        }
    }
}

void AlbumRun::CancelAll() {
    if (impl_->prefetch) impl_->prefetch->CancelAll();
    impl_->transfer.Cancel();
}

}  // namespace gathrix
