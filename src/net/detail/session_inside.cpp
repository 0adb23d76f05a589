#include "detail/session_inside.h"

#include <algorithm>

#include "net/cookies.h"

namespace gathrix::net {

using Clock = Session::Impl::Clock;

void Session::Impl::Refill(Clock::time_point now) {
    if (rate <= 0) return;
    const double seconds = std::chrono::duration<double>(now - filled_at).count();
    bucket = std::min(burst, bucket + seconds * static_cast<double>(rate));
    filled_at = now;
}

void Session::Impl::Resume(Clock::time_point now) {
    if (paused.empty()) return;
    Refill(now);
    if (bucket < 0) return;
    // Resuming may hand over data at once, and pause a request again.
    std::vector<Entry> waiting = std::exchange(paused, {});
    for (auto& [easy, request] : waiting) {
        request->last_byte = now;  // waiting for the limit is no stall
        curl_easy_pause(easy, CURLPAUSE_CONT);
    }
}

bool Session::Impl::Held(CURL* easy) const {
    return std::any_of(paused.begin(), paused.end(), [easy](const Entry& entry) { return entry.first == easy; });
}

void Session::Impl::Expire(Clock::time_point now) {
    std::vector<detail::Request*> expired;
    for (const auto& [handle, request] : active) {
        // Held back by the rate limit is not quiet.
        const bool stalled = !Held(handle) && request->stall.count() > 0 && now - request->last_byte >= request->stall;
        const bool late = request->deadline && now >= *request->deadline;
        if (!stalled && !late) continue;
        request->over_time = late && !stalled;
        expired.push_back(request);
    }
    for (detail::Request* request : expired) {
        // Done() of one request never ends another, but stay safe.
        const bool still = std::any_of(active.begin(), active.end(),
                                       [request](const Entry& entry) { return entry.second == request; });
        if (still) request->Done(CURLE_OPERATION_TIMEDOUT);
    }
}

std::optional<Clock::time_point> Session::Impl::NextDue() const {
    std::optional<Clock::time_point> due;
    auto until = [&due](Clock::time_point when) {
        if (!due || when < *due) due = when;
    };
    if (!paused.empty() && rate > 0) {
        // When the bucket is back at zero, as of its last refill.
        const std::chrono::duration<double> refill(std::max(0.0, -bucket) / static_cast<double>(rate));
        until(filled_at + std::chrono::ceil<std::chrono::milliseconds>(refill));
    }
    for (const auto& [handle, request] : active) {
        // One held back by the rate limit has no stall limit running (and
        // waking for it would only spin).
        if (!Held(handle) && request->stall.count() > 0) until(request->last_byte + request->stall);
        if (request->deadline) until(*request->deadline);
    }
    return due;
}

namespace detail {

bool Attach(Session& session, CURL* easy, Request* request) {
    Session::Impl& d = session.impl();
    if (!d.multi || !easy) return false;
    curl_easy_setopt(easy, CURLOPT_PRIVATE, reinterpret_cast<char*>(request));
    if (d.cookies) {
        // The share holds the cookies; the empty file name only turns the
        // engine on for this handle without reading anything.
        if (curl_easy_setopt(easy, CURLOPT_SHARE, static_cast<CURLSH*>(d.cookies->Handle())) != CURLE_OK ||
            curl_easy_setopt(easy, CURLOPT_COOKIEFILE, "") != CURLE_OK) {
            return false;
        }
    }
    if (!d.ca_file.empty() && curl_easy_setopt(easy, CURLOPT_CAINFO, d.ca_file.c_str()) != CURLE_OK) return false;
    if (d.rate > 0) {
        // Reads no larger than the bucket, so that one read cannot run far
        // ahead of the limit.
        curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, static_cast<long>(std::min(d.burst, 128.0 * 1024.0)));
    }
    if (curl_multi_add_handle(d.multi, easy) != CURLM_OK) return false;
    // Connecting counts toward the stall limit.
    request->last_byte = Clock::now();
    request->deadline.reset();
    if (d.max_time.count() > 0) request->deadline = request->last_byte + d.max_time;
    request->over_time = false;
    d.active.emplace_back(easy, request);
    return true;
}

void Detach(Session& session, CURL* easy) {
    Session::Impl& d = session.impl();
    if (!d.multi || !easy) return;
    curl_multi_remove_handle(d.multi, easy);
    auto same = [easy](const Session::Impl::Entry& entry) { return entry.first == easy; };
    std::erase_if(d.active, same);
    std::erase_if(d.paused, same);
}

bool MayReceive(Session& session, CURL* easy, Request* request, std::size_t bytes) {
    Session::Impl& d = session.impl();
    const Clock::time_point now = Clock::now();
    if (d.rate > 0) {
        d.Refill(now);
        if (d.bucket < 0) {
            d.paused.emplace_back(easy, request);
            return false;
        }
        d.bucket -= static_cast<double>(bytes);
    }
    request->last_byte = now;
    return true;
}

Request::Clock::time_point NextPictureAt(const Session& session) {
    const Session::Impl& d = session.impl();
    Clock::time_point at{};
    if (d.picture_wait.count() <= 0) return at;
    if (d.picture_started) at = std::max(at, *d.picture_started + d.picture_wait);
    if (d.picture_ended) at = std::max(at, *d.picture_ended + d.picture_wait);
    return at;
}

void PictureStarted(Session& session) { session.impl().picture_started = Clock::now(); }

void PictureEnded(Session& session) { session.impl().picture_ended = Clock::now(); }

}  // namespace detail

}  // namespace gathrix::net
