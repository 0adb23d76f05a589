#pragma once
// The HTTP layer over libcurl: a blocking address-to-file download for pages,
// and Transfer, the asynchronous GET on which pictures are fetched.
//
// Both follow redirects, honour the standard proxy variables and TLS as libcurl
// provides them, and never leave a half-written or error-page file behind.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "events/failure.h"

namespace gathrix::net {

// Blocking download of address into path. Succeeds only for a complete body with
// an HTTP status below 400; on failure path is left as it was before the call (an
// older file of that name survives) and no partial file remains. A transfer that
// makes no progress for stall_timeout is aborted.
bool download_to_file(const std::string& address, const std::filesystem::path& path,
                      std::chrono::seconds stall_timeout = std::chrono::seconds(60));

// The one event loop on which every request of a run travels: a libcurl multi
// handle. Pages, pictures and lookups all run on it, so a transfer in flight
// keeps moving while a page downloads, and connections to a host are kept alive
// and shared by every request.
class Session {
public:
    Session();
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // At most n connections to one host at a time (0: no limit, the default).
    void SetMaxHostConnections(long n);

    // Requests that fail with a connection error, a time-out or status 408,
    // 429, 500, 502, 503 or 504 are sent again up to `retries` times (default
    // 0: never), after base, 2 base, 4 base, ... (at most 30 base; a
    // Retry-After of up to 60 s is honoured instead). base is one second but for
    // tests.
    void SetRetries(int retries, std::chrono::milliseconds base = std::chrono::seconds(1));
    int Retries() const;
    std::chrono::milliseconds RetryBase() const;

    // Does the pending work of every request without blocking.
    void Pump();
    // Sleeps on the sockets of every request in flight until one has activity
    // or max_wait has passed (libcurl wakes earlier for its own timers), then
    // does the pending work.
    void Wait(std::chrono::milliseconds max_wait);

    struct Impl;
    Impl& impl() { return *impl_; }

private:
    std::unique_ptr<Impl> impl_;
};

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
std::optional<SavedPage> download_page(const std::string& address, const std::filesystem::path& dir,
                                       std::chrono::seconds stall_timeout = std::chrono::seconds(60),
                                       Session* session = nullptr, Failure* failure = nullptr);

// How a Transfer ended.
enum class TransferResult {
    Running,    // still executing (or never started: see Transfer::Idle)
    Complete,   // whole body received (status may still be >= 400: see Status())
    Failed,     // connection error, time-out, body cut short
    Cancelled,  // Cancel() was called
};

// One GET at a time, performed in the background on a Session and driven by
// the caller's wait loop. The body streams to a private temporary file
// in the target's folder; Commit() moves it into place only after a complete
// transfer. The connection to a host is kept alive from one transfer to the next.
class Transfer {
public:
    Transfer();  // on a session of its own
    explicit Transfer(Session& session);
    ~Transfer();
    Transfer(const Transfer&) = delete;
    Transfer& operator=(const Transfer&) = delete;

    // Longest time a request may go without receiving anything before it fails.
    void SetRequestTimeout(std::chrono::seconds timeout);

    // Starts a GET of address; the body will be spooled into a temporary file in
    // spool_dir. Any earlier transfer is cancelled first. Returns false (and the
    // transfer ends at once as Failed) when it cannot be started.
    bool Execute(const std::string& address, const std::filesystem::path& spool_dir);

    // Does pending work without blocking; true while the request is running.
    bool StillExecuting();

    // Sleeps on the session's sockets until there is activity or max_wait has
    // passed, then does the pending work. Returns StillExecuting().
    bool Wait(std::chrono::milliseconds max_wait = std::chrono::milliseconds(20));

    TransferResult Result() const;

    // True before the first Execute and after Cancel(): no request has been
    // started since, and Result() then says Running (never started) or Cancelled.
    bool Idle() const;

    // HTTP status of the finished response, 0 when none was received.
    long Status() const;

    // Value of a response header of the finished response (name case-insensitive).
    std::optional<std::string> GetHeader(const std::string& name) const;

    // Number of body bytes received so far, and the length the response
    // announced (nullopt when it has not, or not yet).
    std::int64_t BodySize() const;
    std::optional<std::int64_t> AnnouncedSize() const;

    // Why a finished request is not a stored picture (unknown host, an error
    // status, a stall, a body cut short, ...); none for a complete response
    // with a status below 400.
    Failure WhyFailed() const;

    // After a Complete transfer: renames the body file to target (replacing an
    // existing file atomically). Returns false when there is nothing to commit or
    // the rename fails; the temporary file is then removed.
    bool Commit(const std::filesystem::path& target);

    // Ends the request, removes its temporary file (unless Commit() has moved it)
    // and leaves the transfer ready for the next Execute: Result() is then
    // Cancelled, Status() 0 and GetHeader() empty. Safe to call at any time, also
    // when idle. A finished request's connection stays open for the next one.
    void Cancel();

    // The session the transfer runs on.
    Session& GetSession();

    // For the requests from now on: a response with a status of 400 or more
    // ends the request at its headers, its body unread (for pages, whose
    // error bodies are never wanted). Off by default.
    void SetFailOnError(bool on);

    // After a Complete transfer: hands the body file over as it stands, still a
    // registered temporary file that the caller removes. nullopt when there is
    // nothing to hand over.
    std::optional<std::filesystem::path> KeepBody();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace gathrix::net
