#pragma once
// One run of the engine on one album: everything the album readers and the
// repairs fetch goes through it. It owns the run's HTTP session (pages,
// pictures and lookups all travel on it), the count of pictures stored (raised
// by a fetch that stores, lowered only when the size check deletes the file it
// counted), the names pictures are stored under, and the pictures fetched
// ahead of their turn when several transfers are allowed. It reports what
// happens to the run's events.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "download/album_metadata.h"
#include "download/found_picture.h"
#include "download/settings.h"
#include "events/run_events.h"

namespace gathrix {

struct PlannedPicture;
class FolderRecord;
namespace net {
struct Validators;
}

// What came of one picture fetch: whether its body is stored under name, how
// many bytes it brought, and why not when it is not.
struct FetchResult {
    bool stored = false;
    std::string name;
    std::int64_t bytes = 0;
    Failure failure;
    // Asked only if changed: the file on record is as the server has it
    // (stored, nothing written), or was replaced by a newer version.
    bool not_modified = false;
    bool updated = false;
    // What a stored body came with, for the folder's record.
    std::string sha256;
    std::string etag;
    std::string last_modified;
};

// Which page: one of the album's own pages (its failure is reported), or a
// page looked up for one picture.
enum class PageRole { Album, Lookup };

class AlbumRun {
public:
    // folder: the working folder, which exists; pictures and scratch pages go there.
    AlbumRun(RunEvents& events, const Settings& settings, std::filesystem::path folder);
    ~AlbumRun();
    AlbumRun(const AlbumRun&) = delete;
    AlbumRun& operator=(const AlbumRun&) = delete;

    RunEvents& Events() { return events_; }
    const Settings& RunSettings() const { return settings_; }
    const std::filesystem::path& Folder() const { return folder_; }
    void Log(std::string_view piece) { events_.LogAppended(piece); }

    // Pictures stored so far in this run, and those kept from an earlier one.
    std::int64_t Stored() const { return stored_; }
    // Pictures whose body continued one that an earlier run was cut off in.
    std::int64_t Resumed() const { return resumed_; }
    // Pictures the album's pages listed so far, stored or not.
    std::int64_t Listed() const { return listed_; }

    // Keeps record (which outlives the run) of what the folder holds: the
    // pictures on record keep their names, and each picture stored is
    // written into it, with album_address. Before any picture is fetched.
    void UseRecord(FolderRecord* record, std::string album_address);
    // With a record: what became of the album's pictures, and the pictures
    // changed on this machine that were kept.
    const RecordCounts& Counts() const { return counts_; }
    const std::vector<std::string>& KeptChanged() const { return kept_changed_; }

    // Downloads a page and hands back its bytes; nothing of it stays on disk.
    // nullopt when it could not be fetched (connection error, status 400 or
    // more, body cut short): then there is nothing to read, not even an older
    // page. An album page's failure is reported: as the folder's when the page
    // could not be saved there, as the page's otherwise.
    std::optional<std::string> FetchPage(const std::string& address, PageRole role = PageRole::Album);

    // Fetches address and stores its body under name (a safe name) in the
    // working folder. Writes "Downloading NAME..." and then "OK" or "failed."
    // with CR LF into the log, tells the count so far, and counts a stored
    // picture. The events hear of the transfer as it goes. Only a complete
    // body with a status below 400 is stored; otherwise nothing is written and
    // an older file of that name survives. With resume, the body is kept for
    // a later run when the transfer does not complete, and a body kept by an
    // earlier one is continued.
    FetchResult Fetch(const std::string& address, const std::string& name);

    // The size check after a fetch: a picture of at least threshold bytes is
    // good (false, nothing happens). Otherwise it failed: the file this fetch
    // stored (if it stored one) is deleted and uncounted, its name is free
    // again, and "File NAME failed. Searching for original version..." goes
    // into the log with no line end. Returns true. Measuring creates nothing.
    bool DropIfSmall(const FetchResult& fetched, std::int64_t threshold);

    // What a reader does right after a picture's fetch: a repair when it came
    // down too small. Returns what is stored in the end.
    using Repair = FetchResult (*)(AlbumRun& run, const std::string& photo_link, FetchResult fetched);

    // Fetches the pictures of a page in album order, each under the last part
    // of its address (numbered when another picture of the run was given
    // that name, stored or not: see PictureNames; a picture on record keeps
    // its recorded name, which no other is given) and followed by repair,
    // when given. Several transfers at once take them ahead of their turn; a
    // picture stored neither way is reported missing. With skip_existing, a
    // picture whose name is a file in the folder of at least smallest bytes
    // (the service's size check) is not requested: "Downloading
    // NAME...already here." and it counts as stored. With a record, a
    // picture on record counts as here when its file has the recorded size
    // (and, with verify, SHA-256); one whose file is gone is fetched again,
    // one whose file changed on this machine is kept unless overwrite, and
    // with update one that is here is asked for only if it changed.
    void FetchPictures(const std::vector<FoundPicture>& pictures, Repair repair = nullptr, std::int64_t smallest = 1);

    // Ends every request in flight; what they had received is removed.
    void CancelAll();

    // What album.json tells: the reader's details, and each picture's outcome
    // as FetchPictures recorded it, in album order.
    AlbumMetadata& Metadata() { return metadata_; }
    // A name in the folder that no picture of the run is stored under, not
    // even one the folder's record names so: called before UseRecord.
    void ReserveName(const std::string& name);
    // Watches stop (which outlives the run) for a stop requested from another
    // thread: once it is, the picture in flight is given up (a body kept for
    // resuming stays), no page or picture is fetched any more, and the reader
    // comes to its end. Without it, a run goes to its end.
    void StopWhen(const Cancellation* stop) { stop_ = stop; }
    bool Stopped() const { return stop_ != nullptr && stop_->StopRequested(); }

private:
    struct Impl;
    // What a picture's turn does.
    enum class Turn {
        Fetch,         // requested (and stored, replacing a file of its name)
        AlreadyHere,   // here already: not requested
        KeptChanged,   // on record, changed on this machine: kept, not requested
        AskIfChanged,  // on record and here: requested only if it changed
    };
    Turn TurnOf(const std::string& address, const std::string& name, std::int64_t smallest);
    bool AlreadyHere(const std::string& name, std::int64_t smallest) const;
    bool ChangedHere(const std::string& address, std::int64_t size);
    std::optional<net::Validators> ValidatorsOf(const std::string& address) const;
    FetchResult FetchOne(const std::string& address, const std::string& name, const net::Validators* only_if_changed);
    void Record(const std::string& address, const FetchResult& result);
    void Adopt(const std::string& address, const std::string& name);
    // What several transfers at once fetch ahead: the pictures in order, each
    // under the name it gets if those before it are stored, leaving out those
    // already here.
    std::vector<PlannedPicture> PlanAhead(const std::vector<FoundPicture>& pictures, std::int64_t smallest);
    RunEvents& events_;
    const Settings& settings_;
    std::filesystem::path folder_;
    std::int64_t stored_ = 0;
    std::int64_t listed_ = 0;
    const Cancellation* stop_ = nullptr;
    std::int64_t resumed_ = 0;
    std::int64_t bytes_stored_ = 0;
    AlbumMetadata metadata_;
    FolderRecord* record_ = nullptr;
    std::string album_address_;
    bool record_failed_ = false;  // a row could not be written (told once)
    RecordCounts counts_;
    std::vector<std::string> kept_changed_;
    std::unordered_map<std::string, bool> changed_here_;  // address -> its file changed, as found once
    std::unique_ptr<Impl> impl_;
};

}  // namespace gathrix
