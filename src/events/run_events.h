#pragma once
// What a run tells its front end (the window, the command line, or a test) as
// it goes, and how a front end stops it. The engine reports events; each front
// end decides what they mean on its screen or its streams. Everything is
// called on the thread that runs the engine.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "events/failure.h"

namespace gathrix {

enum class BoxIcon { None, Critical };

// The pictures coming in, as the engine waits for them.
struct TransferProgress {
    std::string name;                   // the picture whose turn it is
    std::int64_t received = 0;          // its bytes so far
    std::optional<std::int64_t> total;  // its length, when the server announced it
    int in_flight = 1;                  // transfers running now (more than 1 with --jobs)
    std::int64_t album_bytes = 0;       // bytes of the album received so far, in flight included
    std::int64_t stored = 0;            // pictures stored so far
};

// What became of an album's pictures in a run that keeps a record of the
// folder: stored by a request, kept as they were, replaced by a newer version
// (--update), and missing in the end.
struct RecordCounts {
    std::int64_t fresh = 0;
    std::int64_t already_here = 0;
    std::int64_t updated = 0;
    std::int64_t missing = 0;
};

class RunEvents {
public:
    virtual ~RunEvents() = default;

    // The run got past the empty-address test and goes on to the end.
    virtual void RunStarted() {}
    // The progress log. LogReplaced sets the whole text (the log header);
    // LogAppended adds a piece at the end of whatever the log holds now (a
    // piece may leave its line open for a result word); LogCleared empties it.
    virtual void LogReplaced(std::string_view text) = 0;
    virtual void LogAppended(std::string_view piece) = 0;
    virtual void LogCleared() = 0;
    // The pictures stored so far in this run: before each picture's result
    // and once more at the end.
    virtual void PicturesStored(std::int64_t /*count*/) {}
    // The pictures the album's pages have listed so far (each page's
    // pictures at once, before the first of them is fetched).
    virtual void PicturesListed(std::int64_t /*count*/) {}
    // The album's title, as its service gives it, once a reader has read it
    // (only readers that learn one tell it).
    virtual void AlbumTitled(std::string_view /*title*/) {}
    // A message for the user, with a short title; returns when it has been seen.
    virtual void Message(std::string_view text, std::string_view title, BoxIcon icon) = 0;
    // Called while the engine waits for a picture, as often as it wakes: when
    // bytes arrive or a request ends, and at least every ProgressEvery().
    virtual void Progress(const TransferProgress& /*progress*/) {}
    // How often Progress is wanted when nothing arrives: for a display that
    // redraws, or a window that answers its user only from Progress. nullopt
    // (the default): only when something happens, so that a slow picture
    // costs no processor time.
    virtual std::optional<std::chrono::milliseconds> ProgressEvery() const { return std::nullopt; }
    // An album page that could not be downloaded.
    virtual void PageFailed(std::string_view /*address*/, const Failure& /*why*/) {}
    // The album folder failed the run: it could not be made or entered
    // (FolderNotMade, told right after the message that says so), or a page
    // could not be saved in it (FolderNotWritable, instead of PageFailed: the
    // page itself may be fine). why.path names the folder.
    virtual void FolderFailed(const Failure& /*why*/) {}
    // A request that failed is sent again after delay: attempt (2 for the
    // first retry) of attempts.
    virtual void Retrying(std::string_view /*address*/, const Failure& /*why*/, std::chrono::milliseconds /*delay*/,
                          int /*attempt*/, int /*attempts*/) {}
    // A picture missing in the end: neither its fetch nor a repair stored it.
    virtual void PictureMissing(std::string_view /*address*/, const Failure& /*why*/) {}
    // The album's pages were read and none of them listed a picture (an empty
    // album, or a page layout the readers do not know); the address as given.
    virtual void NoPicturesListed(std::string_view /*album_address*/) {}
    // Pictures of the album whose body continued one that an earlier run was
    // cut off in (told once the album's pictures are done, in runs that
    // continue cut-off pictures).
    virtual void PicturesResumed(std::int64_t /*count*/) {}
    // The folder's record of what it holds could not be read (why): it was
    // set aside as `to`, and a new one started.
    virtual void RecordSetAside(const std::filesystem::path& /*from*/, const std::filesystem::path& /*to*/,
                                std::string_view /*why*/) {}
    // The record could not be made or written (why): the run goes on without
    // keeping it. Told once a run.
    virtual void RecordNotKept(const std::filesystem::path& /*record*/, std::string_view /*why*/) {}
    // Pictures on record whose files were changed on this machine since they
    // were stored, kept as they are (told once the album's pictures are done).
    virtual void PicturesKeptChanged(const std::vector<std::string>& /*names*/) {}
    // The end of an album whose folder has a record: what became of its
    // pictures (the address as given).
    virtual void RecordSummary(std::string_view /*album_address*/, const RecordCounts& /*counts*/) {}
    // The album is done: count pictures stored in folder.
    virtual void AlbumFinished(std::int64_t /*count*/, const std::filesystem::path& /*folder*/) {}
    // The run is over (every run that got past the empty-address test).
    virtual void RunEnded() {}
};

// How a front end stops a run from outside the engine. Cancel() (the
// window's Exit) ends every request in flight at once and removes what they
// had received; it is called on the thread that runs the engine, from one of
// its events. RequestStop() may be called from any thread: the run notices it
// within kStopCheckEvery, ends the requests in flight (a picture cut off keeps
// what came when the run continues cut-off pictures), fetches nothing more,
// and ends as usual. The engine hooks itself in for the length of a run.
class Cancellation {
public:
    // How soon a run notices RequestStop() while it waits for a picture. A
    // page being read is read to its end (or its time-out) first.
    static constexpr std::chrono::milliseconds kStopCheckEvery{50};

    void Cancel() {
        if (on_cancel_) on_cancel_();
    }

    // Thread-safe. Holds until ClearStop(), over any number of runs.
    void RequestStop() { stop_.store(true, std::memory_order_relaxed); }
    void ClearStop() { stop_.store(false, std::memory_order_relaxed); }
    bool StopRequested() const { return stop_.load(std::memory_order_relaxed); }

    // For the engine: what Cancel() does while a run is going (nothing otherwise).
    void Hook(std::function<void()> on_cancel) { on_cancel_ = std::move(on_cancel); }
    void Unhook() { on_cancel_ = nullptr; }

private:
    std::function<void()> on_cancel_;
    std::atomic<bool> stop_{false};
};

}  // namespace gathrix
