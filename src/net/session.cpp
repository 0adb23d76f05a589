#include "net/session.h"
#include "net/cookies.h"
#include "net/curl_common.h"

#include <algorithm>
#include <limits>
#include <utility>

namespace gathrix::net {

struct Session::Impl {
    CURLM* multi = nullptr;
    int retries = 0;
    std::chrono::milliseconds retry_base{1000};
    std::function<void(const RetryNotice&)> retry_observer;
    CURLSH* cookies = nullptr;  // none: the cookie engine stays off
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
void Session::ShareCookies(Cookies& cookies) { impl_->cookies = static_cast<CURLSH*>(cookies.Handle()); }

void Session::Pump() {
    CURLM* multi = impl_->multi;
    if (!multi) return;
    int running = 0;
    curl_multi_perform(multi, &running);
    int queued = 0;
    while (CURLMsg* msg = curl_multi_info_read(multi, &queued)) {
        if (msg->msg != CURLMSG_DONE) continue;
        char* owner = nullptr;
        curl_easy_getinfo(msg->easy_handle, CURLINFO_PRIVATE, &owner);
        // Done() may take the handle off the session; the message is read first.
        const CURLcode code = msg->data.result;
        if (owner) reinterpret_cast<detail::Request*>(owner)->Done(code);
    }
}

void Session::Wait(std::chrono::milliseconds max_wait) {
    if (!impl_->multi) return;
    const auto capped =
        std::clamp<std::chrono::milliseconds::rep>(max_wait.count(), 0, std::numeric_limits<int>::max());
    curl_multi_poll(impl_->multi, nullptr, 0, static_cast<int>(capped), nullptr);
    Pump();
}

namespace detail {

bool Attach(Session& session, CURL* easy, Request* request) {
    CURLM* multi = session.impl().multi;
    if (!multi || !easy) return false;
    curl_easy_setopt(easy, CURLOPT_PRIVATE, reinterpret_cast<char*>(request));
    if (CURLSH* cookies = session.impl().cookies) {
        // The share holds the cookies; the empty file name only turns the
        // engine on for this handle without reading anything.
        if (curl_easy_setopt(easy, CURLOPT_SHARE, cookies) != CURLE_OK ||
            curl_easy_setopt(easy, CURLOPT_COOKIEFILE, "") != CURLE_OK) {
            return false;
        }
    }
    return curl_multi_add_handle(multi, easy) == CURLM_OK;
}

void Detach(Session& session, CURL* easy) {
    if (session.impl().multi && easy) curl_multi_remove_handle(session.impl().multi, easy);
}

}  // namespace detail

}  // namespace gathrix::net
