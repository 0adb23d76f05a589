#pragma once
// Transfer: the asynchronous GET on which pictures (and pages) are fetched.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "events/failure.h"
#include "net/kept_body.h"
#include "net/session.h"

namespace gathrix::net {

// What a stored picture came with: a request that gives them asks for the
// body only when it has changed since (If-None-Match with the ETag, else
// If-Modified-Since with the date), and is answered 304 when it has not.
struct Validators {
    std::string etag;
    std::string last_modified;
    bool Any() const { return !etag.empty() || !last_modified.empty(); }
};

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
    void SetRequestTimeout(std::chrono::milliseconds timeout);

    // Starts a GET of address; the body will be spooled into a temporary file in
    // spool_dir. Any earlier transfer is cancelled first. Returns false (and the
    // transfer ends at once as Failed) when it cannot be started.
    // With keep, the body goes into keep's files instead and outlives a
    // transfer that does not complete, so that a later one continues it
    // (net/kept_body.h); a retry continues it at once. With only_if_changed
    // (and no keep), the request is conditional: see NotModified().
    bool Execute(const std::string& address, const std::filesystem::path& spool_dir,
                 const std::optional<KeptBodyFiles>& keep = std::nullopt,
                 const std::optional<Validators>& only_if_changed = std::nullopt);

    // After a Complete conditional request: the server answered 304, the
    // picture has not changed, and there is no body to commit.
    bool NotModified() const;

    // For the requests from now on: the body's SHA-256 is computed as it
    // streams in (a continued body reads its kept bytes once). Off by default.
    void SetHashBody(bool on);
    // After a Complete transfer with hashing on: the digest of its whole body
    // (64 hex digits); empty otherwise.
    const std::string& BodySha256() const;

    // After a Complete transfer with keep: whether its body continued bytes
    // kept from before.
    bool Resumed() const;

    // Does pending work without blocking; true while the request is running.
    bool StillExecuting();

    // Sleeps on the session's sockets until there is activity or max_wait has
    // passed (Session::Wait; earlier when a retry or its turn is due), then
    // does the pending work. Returns StillExecuting(). With kNoWaitLimit it
    // wakes only when the request needs it.
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
    // the rename fails; the temporary file is then removed, and WhyFailed() says
    // WriteError with the system's error number.
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

    // For the requests from now on: each waits for its turn after the one
    // before on the session (Session::SetPictureWait). For pictures; off by
    // default.
    void SetSpaced(bool on);

    // After a Complete transfer: hands the body file over as it stands, still a
    // registered temporary file that the caller removes. nullopt when there is
    // nothing to hand over.
    std::optional<std::filesystem::path> KeepBody();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace gathrix::net
