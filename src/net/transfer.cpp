#include "net/curl_common.h"
#include "net/http.h"

#include <algorithm>
#include <cctype>
#include <limits>
#include <utility>
#include <vector>

namespace gathrix::net {

namespace {

bool EqualsIgnoreCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

std::string Trim(std::string s) {
    auto blank = [](unsigned char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!s.empty() && blank(static_cast<unsigned char>(s.back()))) s.pop_back();
    std::size_t start = 0;
    while (start < s.size() && blank(static_cast<unsigned char>(s[start]))) ++start;
    return s.substr(start);
}

}  // namespace

struct Transfer::Impl {
    CURLM* multi = nullptr;
    CURL* easy = nullptr;  // one handle for every request, so connections stay alive
    bool attached = false;  // easy is in multi, i.e. a request is running

    std::chrono::seconds timeout{60};
    TransferResult result = TransferResult::Running;
    bool idle = true;
    long status = 0;
    std::vector<std::pair<std::string, std::string>> headers;  // of the latest response
    std::optional<detail::SpoolFile> spool;
    std::int64_t body_size = 0;

    Impl() {
        if (detail::EnsureCurl()) {
            multi = curl_multi_init();
            easy = curl_easy_init();
        }
    }

    ~Impl() {
        Stop();
        if (easy) curl_easy_cleanup(easy);
        if (multi) curl_multi_cleanup(multi);
    }

    // Takes the easy handle out of the multi handle. A finished request leaves
    // its connection in the multi handle's cache for the next one; an unfinished
    // one has its connection closed.
    void Detach() {
        if (attached) {
            curl_multi_remove_handle(multi, easy);
            attached = false;
        }
    }

    void Stop() {
        Detach();
        if (spool) {
            body_size = spool->Size();
            spool.reset();  // removes the file
        }
    }

    void Reset() {
        result = TransferResult::Running;
        status = 0;
        headers.clear();
        body_size = 0;
    }

    static std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* userdata) {
        auto* self = static_cast<Impl*>(userdata);
        const std::size_t bytes = size * count;
        std::string line(data, bytes);
        if (line.rfind("HTTP/", 0) == 0) {
            // A new response begins (after a redirect or an interim 1xx): only
            // the headers of the last one are kept.
            self->headers.clear();
        } else if (auto colon = line.find(':'); colon != std::string::npos && colon > 0) {
            self->headers.emplace_back(Trim(line.substr(0, colon)), Trim(line.substr(colon + 1)));
        }
        return bytes;
    }

    static std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* userdata) {
        auto* self = static_cast<Impl*>(userdata);
        if (!self->spool) return 0;
        const std::size_t bytes = size * count;
        if (!self->spool->Write(data, bytes)) return 0;
        self->body_size = self->spool->Size();
        return bytes;
    }

    void Finish(CURLcode code) {
        curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
        bool complete = code == CURLE_OK && status != 0;
        // libcurl reports a body cut short (CURLE_PARTIAL_FILE); this check is a
        // second guard for a response whose length does not match what arrived.
        if (complete && spool) {
            if (auto length = detail::ContentLength(easy); length && *length != spool->Size()) complete = false;
        }
        Detach();
        if (complete) {
            result = TransferResult::Complete;
        } else {
            result = TransferResult::Failed;
            spool.reset();
        }
    }

    void Pump() {
        if (!attached) return;
        int running = 0;
        curl_multi_perform(multi, &running);
        int queued = 0;
        while (CURLMsg* msg = curl_multi_info_read(multi, &queued)) {
            if (msg->msg == CURLMSG_DONE && msg->easy_handle == easy && attached) {
                Finish(msg->data.result);
            }
        }
    }
};

Transfer::Transfer() : impl_(std::make_unique<Impl>()) {}

Transfer::~Transfer() = default;

void Transfer::SetRequestTimeout(std::chrono::seconds timeout) {
    impl_->timeout = timeout.count() > 0 ? timeout : std::chrono::seconds(1);
}

bool Transfer::Execute(const std::string& address, const std::filesystem::path& spool_dir) {
    Impl& d = *impl_;
    d.Stop();
    d.Reset();
    d.idle = false;

    auto fail = [&d] {
        d.spool.reset();
        d.result = TransferResult::Failed;
        return false;
    };
    if (!d.multi || !d.easy || !detail::AddressAccepted(address)) return fail();
    d.spool = detail::SpoolFile::Create(spool_dir);
    if (!d.spool) return fail();

    if (!detail::ApplyRequestOptions(d.easy, address, d.timeout)) return fail();
    curl_easy_setopt(d.easy, CURLOPT_HEADERFUNCTION, &Impl::OnHeader);
    curl_easy_setopt(d.easy, CURLOPT_HEADERDATA, &d);
    curl_easy_setopt(d.easy, CURLOPT_WRITEFUNCTION, &Impl::OnBody);
    curl_easy_setopt(d.easy, CURLOPT_WRITEDATA, &d);
    if (curl_multi_add_handle(d.multi, d.easy) != CURLM_OK) return fail();
    d.attached = true;
    d.Pump();
    return true;
}

bool Transfer::StillExecuting() {
    impl_->Pump();
    return impl_->attached;
}

bool Transfer::Wait(std::chrono::milliseconds max_wait) {
    Impl& d = *impl_;
    if (!d.attached) return false;
    const auto capped = std::clamp<std::chrono::milliseconds::rep>(max_wait.count(), 0,
                                                                   std::numeric_limits<int>::max());
    // Sleeps on the sockets; libcurl shortens the wait when one of its own
    // timers (time-outs, connect) is due sooner.
    curl_multi_poll(d.multi, nullptr, 0, static_cast<int>(capped), nullptr);
    return StillExecuting();
}

TransferResult Transfer::Result() const { return impl_->result; }

bool Transfer::Idle() const { return impl_->idle; }

long Transfer::Status() const { return impl_->status; }

std::optional<std::string> Transfer::GetHeader(const std::string& name) const {
    for (const auto& [key, value] : impl_->headers) {
        if (EqualsIgnoreCase(key, name)) return value;
    }
    return std::nullopt;
}

std::int64_t Transfer::BodySize() const { return impl_->body_size; }

bool Transfer::Commit(const std::filesystem::path& target) {
    Impl& d = *impl_;
    if (d.result != TransferResult::Complete || !d.spool) return false;
    bool ok = d.spool->MoveTo(target);
    d.spool.reset();
    return ok;
}

void Transfer::Cancel() {
    Impl& d = *impl_;
    d.Stop();
    d.Reset();
    d.result = TransferResult::Cancelled;
    d.idle = true;
}

}  // namespace gathrix::net
