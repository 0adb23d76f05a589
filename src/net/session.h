#pragma once
// The HTTP layer over libcurl: the session on which every request of a run
// travels. Requests follow redirects, honour the standard proxy variables and
// TLS as libcurl provides them, and never leave a half-written or error-page
// file behind.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "events/failure.h"

namespace gathrix::net {

class Cookies;

// For Wait: no limit of the caller's, so that the wait lasts until a request
// needs the session (see Session::Wait).
inline constexpr std::chrono::milliseconds kNoWaitLimit = std::chrono::milliseconds::max();

// The one event loop on which every request of a run travels: a libcurl multi
// handle. Pages, pictures and lookups all run on it, so a transfer in flight
// keeps moving while a page downloads, and connections to a host are kept alive
// and shared by every request.
// A request that failed and is sent again: which, why, after how long, and
// which attempt the next one is (2 for the first retry) of how many there may be.
struct RetryNotice {
    std::string address;
    Failure why;
    std::chrono::milliseconds delay{0};
    int attempt = 0;
    int attempts = 0;
};

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

    // Told of every retry, as it is decided (none by default).
    void SetRetryObserver(std::function<void(const RetryNotice&)> observer);
    void NoteRetry(const RetryNotice& notice) const;
    // Every request from now on sends the cookies that fit it and keeps those
    // the server sets, in cookies (which must outlive the session's requests).
    // Without it no cookie is sent or kept.
    void ShareCookies(Cookies& cookies);
    // Every https request from now on trusts the certificate authorities in
    // file (PEM), as libcurl's CAINFO; empty: those libcurl trusts by default.
    void SetCaFile(const std::string& file);
    // At most bytes_per_second for all requests together (0: no limit, the
    // default). A request that would go over waits, paused, until it may go on.
    void SetRateLimit(std::int64_t bytes_per_second);
    std::int64_t RateLimit() const;

    // A cap on the whole time of one attempt of a request (0: none, the
    // default); a request still running then fails as TookTooLong.
    void SetMaxTime(std::chrono::seconds max_time);
    std::chrono::seconds MaxTime() const;

    // A pause between one picture request and the next (Transfer::SetSpaced):
    // the next starts `wait` after the previous one ended, and never sooner
    // than `wait` after the previous one started. 0 (the default): none.
    void SetPictureWait(std::chrono::milliseconds wait);

    // Does the pending work of every request without blocking.
    void Pump();
    // Sleeps on the sockets of every request in flight until one has activity
    // or max_wait has passed, then does the pending work. It wakes earlier
    // when something is due that no socket tells of: libcurl's own timers, a
    // request's stall limit or deadline, or the moment the rate limit lets a
    // paused request go on.
    void Wait(std::chrono::milliseconds max_wait);

    struct Impl;
    Impl& impl() { return *impl_; }
    const Impl& impl() const { return *impl_; }

private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace gathrix::net
