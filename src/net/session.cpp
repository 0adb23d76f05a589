#include "net/session.h"
#include "net/cookies.h"
#include "net/curl_common.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>
#include <vector>

namespace gathrix::net {

namespace {
using Clock = detail::Request::Clock;

// The Set-Cookie headers of every response a finished request had (the
// redirects' too).
std::size_t CookiesSet(CURL* easy) {
    long redirects = 0;
    curl_easy_getinfo(easy, CURLINFO_REDIRECT_COUNT, &redirects);
    std::size_t count = 0;
    for (long request = 0; request <= redirects; ++request) {
        curl_header* header = nullptr;
        if (curl_easy_header(easy, "Set-Cookie", 0, CURLH_HEADER, static_cast<int>(request), &header) == CURLHE_OK) {
            count += header->amount;
        }
    }
    return count;
}
}  // namespace

struct Session::Impl {
    CURLM* multi = nullptr;
    int retries = 0;
    std::chrono::milliseconds retry_base{1000};
    std::function<void(const RetryNotice&)> retry_observer;
    Cookies* cookies = nullptr;  // none: the cookie engine stays off
    std::string ca_file;         // none: libcurl's own certificate authorities
    std::chrono::seconds max_time{0};

    // The requests on the multi handle, for their stall limits and deadlines.
    std::vector<std::pair<CURL*, detail::Request*>> active;

    // The rate limit: a bucket of bytes, refilled at `rate` a second up to
    // `burst`, shared by every request. Below zero, a request that has more to
    // receive is paused until the bucket has refilled.
    std::int64_t rate = 0;
    double bucket = 0;
    double burst = 0;
    Clock::time_point filled_at{};
    std::vector<std::pair<CURL*, detail::Request*>> paused;

    // The pause between pictures.
    std::chrono::milliseconds picture_wait{0};
    std::optional<Clock::time_point> picture_started;
    std::optional<Clock::time_point> picture_ended;

    void Refill(Clock::time_point now) {
        if (rate <= 0) return;
        const double seconds = std::chrono::duration<double>(now - filled_at).count();
        bucket = std::min(burst, bucket + seconds * static_cast<double>(rate));
        filled_at = now;
    }

    // Paused requests go on once the bucket holds something again.
    void Resume(Clock::time_point now) {
        if (paused.empty()) return;
        Refill(now);
        if (bucket < 0) return;
        // Resuming may hand over data at once, and pause a request again.
        std::vector<std::pair<CURL*, detail::Request*>> waiting = std::exchange(paused, {});
        for (auto& [easy, request] : waiting) {
            request->last_byte = now;  // waiting for the limit is no stall
            curl_easy_pause(easy, CURLPAUSE_CONT);
        }
    }

    // Whether the rate limit holds the request on easy back.
    bool Held(CURL* easy) const {
        return std::any_of(paused.begin(), paused.end(), [easy](const auto& entry) { return entry.first == easy; });
    }

    // Ends the requests that have gone quiet for their stall limit or run
    // past their deadline.
    void Expire(Clock::time_point now) {
        std::vector<detail::Request*> expired;
        for (const auto& [handle, request] : active) {
            // Held back by the rate limit is not quiet.
            const bool stalled =
                !Held(handle) && request->stall.count() > 0 && now - request->last_byte >= request->stall;
            const bool late = request->deadline && now >= *request->deadline;
            if (!stalled && !late) continue;
            request->over_time = late && !stalled;
            expired.push_back(request);
        }
        for (detail::Request* request : expired) {
            // Done() of one request never ends another, but stay safe.
            const bool still = std::any_of(active.begin(), active.end(),
                                           [request](const auto& entry) { return entry.second == request; });
            if (still) request->Done(CURLE_OPERATION_TIMEDOUT);
        }
    }

    // How long a wait may sleep: until a paused request may go on, or the
    // next stall limit or deadline is reached.
    std::chrono::milliseconds Cap(std::chrono::milliseconds wait, Clock::time_point now) const {
        auto until = [&wait, now](Clock::time_point when) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(when - now);
            wait = std::min(wait, std::max(left, std::chrono::milliseconds(1)));
        };
        if (!paused.empty() && rate > 0 && bucket < 0) {
            until(now + std::chrono::milliseconds(
                            static_cast<long long>(std::ceil(-bucket * 1000.0 / static_cast<double>(rate)))));
        }
        for (const auto& [handle, request] : active) {
            // One held back by the rate limit has no stall limit running (and
            // waking for it would only spin).
            if (!Held(handle) && request->stall.count() > 0) until(request->last_byte + request->stall);
            if (request->deadline) until(*request->deadline);
        }
        return wait;
    }
};

Session::Session() : impl_(std::make_unique<Impl>()) {
    if (detail::EnsureCurl()) impl_->multi = curl_multi_init();
}

Session::~Session() {
    if (impl_->multi) curl_multi_cleanup(impl_->multi);
}

void Session::SetMaxHostConnections(long n) {
    if (impl_->multi) curl_multi_setopt(impl_->multi, CURLMOPT_MAX_HOST_CONNECTIONS, std::max(0L, n));
}

void Session::SetRetries(int retries, std::chrono::milliseconds base) {
    impl_->retries = std::max(0, retries);
    impl_->retry_base = base;
}

int Session::Retries() const { return impl_->retries; }

std::chrono::milliseconds Session::RetryBase() const { return impl_->retry_base; }

void Session::SetRetryObserver(std::function<void(const RetryNotice&)> observer) {
    impl_->retry_observer = std::move(observer);
}

void Session::NoteRetry(const RetryNotice& notice) const {
    if (impl_->retry_observer) impl_->retry_observer(notice);
}
void Session::ShareCookies(Cookies& cookies) { impl_->cookies = &cookies; }
void Session::SetCaFile(const std::string& file) { impl_->ca_file = file; }

void Session::SetRateLimit(std::int64_t bytes_per_second) {
    Impl& d = *impl_;
    d.rate = std::max<std::int64_t>(0, bytes_per_second);
    // A tenth of a second's worth at once, so that short pictures do not go
    // over the limit, but at least one read.
    d.burst = std::max(static_cast<double>(d.rate) / 10.0, 1024.0);
    d.bucket = d.burst;
    d.filled_at = Clock::now();
}

std::int64_t Session::RateLimit() const { return impl_->rate; }

void Session::SetMaxTime(std::chrono::seconds max_time) {
    impl_->max_time = std::max(max_time, std::chrono::seconds(0));
}

std::chrono::seconds Session::MaxTime() const { return impl_->max_time; }

void Session::SetPictureWait(std::chrono::milliseconds wait) {
    impl_->picture_wait = std::max(wait, std::chrono::milliseconds(0));
}

void Session::Pump() {
    CURLM* multi = impl_->multi;
    if (!multi) return;
    impl_->Resume(Clock::now());
    int running = 0;
    curl_multi_perform(multi, &running);
    int queued = 0;
    while (CURLMsg* msg = curl_multi_info_read(multi, &queued)) {
        if (msg->msg != CURLMSG_DONE) continue;
        char* owner = nullptr;
        curl_easy_getinfo(msg->easy_handle, CURLINFO_PRIVATE, &owner);
        // Done() may take the handle off the session; the message is read first.
        const CURLcode code = msg->data.result;
        if (impl_->cookies) impl_->cookies->Received(CookiesSet(msg->easy_handle));
        if (owner) reinterpret_cast<detail::Request*>(owner)->Done(code);
    }
    // After the reads above, so that bytes that were waiting count.
    impl_->Expire(Clock::now());
}

void Session::Wait(std::chrono::milliseconds max_wait) {
    if (!impl_->multi) return;
    const auto capped = std::clamp<std::chrono::milliseconds::rep>(impl_->Cap(max_wait, Clock::now()).count(), 0,
                                                                   std::numeric_limits<int>::max());
    curl_multi_poll(impl_->multi, nullptr, 0, static_cast<int>(capped), nullptr);
    Pump();
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
    auto same = [easy](const auto& entry) { return entry.first == easy; };
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
