#include "net/session.h"

#include <algorithm>
#include <limits>
#include <utility>

#include "detail/request_options.h"
#include "detail/session_inside.h"
#include "net/cookies.h"

namespace gathrix::net {

namespace {
using Clock = Session::Impl::Clock;

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
    // libcurl shortens the sleep for its own timers (connecting, resolving, a
    // request just added); the session's own are its stall limits, deadlines
    // and the rate limit.
    std::chrono::milliseconds wait = max_wait;
    if (const std::optional<Clock::time_point> due = impl_->NextDue()) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(*due - Clock::now());
        wait = std::min(wait, std::max(left, std::chrono::milliseconds(1)));
    }
    const auto capped = std::clamp<std::chrono::milliseconds::rep>(wait.count(), 0, std::numeric_limits<int>::max());
    curl_multi_poll(impl_->multi, nullptr, 0, static_cast<int>(capped), nullptr);
    Pump();
}

}  // namespace gathrix::net
