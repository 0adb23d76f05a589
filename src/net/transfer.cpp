#include "net/curl_common.h"
#include "net/http.h"

#include <memory>
#include <utility>
#include <vector>

namespace gathrix::net {

struct Transfer::Impl : detail::Request {
    std::unique_ptr<Session> own_session;  // when the transfer has a session of its own
    Session* session = nullptr;
    // A fresh handle for every request, so that nothing of how the previous one
    // ended can make the next fail. Connections are kept alive all the same:
    // they live in the session's cache, not in the easy handle.
    CURL* easy = nullptr;
    bool attached = false;  // easy is on the session, i.e. a request is running

    std::chrono::seconds timeout{60};
    TransferResult result = TransferResult::Running;
    bool idle = true;
    long status = 0;
    detail::ResponseHeaders headers;  // of the latest response
    std::optional<detail::SpoolFile> spool;
    std::int64_t body_size = 0;

    explicit Impl(Session* shared) : own_session(shared ? nullptr : std::make_unique<Session>()),
                                     session(shared ? shared : own_session.get()) {}

    ~Impl() override {
        Stop();
        if (easy) curl_easy_cleanup(easy);
    }

    // Takes the easy handle off the session. A finished request leaves its
    // connection in the session's cache for the next one; an unfinished one has
    // its connection closed.
    void Detach() {
        if (attached) {
            detail::Detach(*session, easy);
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
        headers.Clear();
        body_size = 0;
    }

    // Puts a new easy handle in place of the old one.
    bool Renew() {
        Detach();
        if (easy) curl_easy_cleanup(easy);
        easy = curl_easy_init();
        return easy != nullptr;
    }

    static std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* userdata) {
        auto* self = static_cast<Impl*>(userdata);
        if (!self->spool) return 0;
        const std::size_t bytes = size * count;
        if (!self->spool->Write(data, bytes)) return 0;
        self->body_size = self->spool->Size();
        return bytes;
    }

    void Done(CURLcode code) override {
        if (attached) Finish(code);
    }

    void Finish(CURLcode code) {
        curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
        // A Content-Length that libcurl could not use (not a number, too large,
        // two different values) leaves nothing to check the body against.
        bool complete = code == CURLE_OK && status != 0 && headers.LengthSound();
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
        if (attached) session->Pump();
    }
};

Transfer::Transfer() : impl_(std::make_unique<Impl>(nullptr)) {}

Transfer::Transfer(Session& session) : impl_(std::make_unique<Impl>(&session)) {}

Session& Transfer::GetSession() { return *impl_->session; }

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
    if (!detail::AddressAccepted(address) || !d.Renew()) return fail();
    d.spool = detail::SpoolFile::Create(spool_dir);
    if (!d.spool) return fail();

    if (!detail::ApplyRequestOptions(d.easy, address, d.timeout)) return fail();
    curl_easy_setopt(d.easy, CURLOPT_HEADERFUNCTION, &detail::ResponseHeaders::OnHeader);
    curl_easy_setopt(d.easy, CURLOPT_HEADERDATA, &d.headers);
    curl_easy_setopt(d.easy, CURLOPT_WRITEFUNCTION, &Impl::OnBody);
    curl_easy_setopt(d.easy, CURLOPT_WRITEDATA, &d);
    if (!detail::Attach(*d.session, d.easy, &d)) return fail();
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
    d.session->Wait(max_wait);
    return d.attached;
}

TransferResult Transfer::Result() const { return impl_->result; }

bool Transfer::Idle() const { return impl_->idle; }

long Transfer::Status() const { return impl_->status; }

std::optional<std::string> Transfer::GetHeader(const std::string& name) const {
    return impl_->headers.Get(name);
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
