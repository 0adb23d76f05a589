#pragma once
// The inside of a Session: the requests on its multi handle, their stall
// limits and deadlines, the rate limit that paces them and the pause between
// pictures. Transfer puts its requests on the session through the functions
// below.

#include <curl/curl.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "net/session.h"

namespace gathrix::net::detail {

// A request in flight on a Session: told when libcurl has finished it.
// The session's Pump ends it with CURLE_OPERATION_TIMEDOUT when nothing has
// arrived for `stall` since last_byte (Attach sets it, so connecting counts
// too), or when it is still running at its deadline (Attach sets it from the
// session's cap); over_time then tells the deadline from a stall.
class Request {
public:
    using Clock = std::chrono::steady_clock;

    virtual ~Request() = default;
    virtual void Done(CURLcode code) = 0;

    Clock::time_point last_byte{};
    std::chrono::milliseconds stall{0};  // 0: no limit
    std::optional<Clock::time_point> deadline;
    bool over_time = false;
};

// Puts easy (set up for a request) onto the session; request->Done() is called
// from the session's Pump when it has finished. False when libcurl refuses it.
bool Attach(Session& session, CURL* easy, Request* request);
// Takes easy off the session. A finished request leaves its connection in the
// session's cache for the next one; an unfinished one has it closed.
void Detach(Session& session, CURL* easy);

// For a body callback: bytes have arrived for request on easy. Returns false
// when the session's rate limit is spent: the callback then returns
// CURL_WRITEFUNC_PAUSE, and the session resumes easy once the limit allows.
bool MayReceive(Session& session, CURL* easy, Request* request, std::size_t bytes);

// Pictures requested one after another with a pause between them: the
// earliest moment the next one may start, and the start and end of one.
Request::Clock::time_point NextPictureAt(const Session& session);
void PictureStarted(Session& session);
void PictureEnded(Session& session);

}  // namespace gathrix::net::detail

namespace gathrix::net {

struct Session::Impl {
    using Clock = detail::Request::Clock;
    using Entry = std::pair<CURL*, detail::Request*>;

    CURLM* multi = nullptr;
    int retries = 0;
    std::chrono::milliseconds retry_base{1000};
    std::function<void(const RetryNotice&)> retry_observer;
    Cookies* cookies = nullptr;  // none: the cookie engine stays off
    std::string ca_file;         // none: libcurl's own certificate authorities
    std::chrono::seconds max_time{0};

    // The requests on the multi handle, for their stall limits and deadlines.
    std::vector<Entry> active;

    // The rate limit: a bucket of bytes, refilled at `rate` a second up to
    // `burst`, shared by every request. Below zero, a request that has more to
    // receive is paused until the bucket has refilled.
    std::int64_t rate = 0;
    double bucket = 0;
    double burst = 0;
    Clock::time_point filled_at{};
    std::vector<Entry> paused;

    // The pause between pictures.
    std::chrono::milliseconds picture_wait{0};
    std::optional<Clock::time_point> picture_started;
    std::optional<Clock::time_point> picture_ended;

    void Refill(Clock::time_point now);
    // Paused requests go on once the bucket holds something again.
    void Resume(Clock::time_point now);
    // Whether the rate limit holds the request on easy back.
    bool Held(CURL* easy) const;
    // Ends the requests that have gone quiet for their stall limit or run
    // past their deadline.
    void Expire(Clock::time_point now);
    // The next moment the session has something to do that no socket will
    // wake it for: a paused request may go on, or a stall limit or deadline
    // is reached. nullopt when there is none.
    std::optional<Clock::time_point> NextDue() const;
};

}  // namespace gathrix::net
