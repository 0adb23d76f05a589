#include "net/transfer.h"
#include "net/curl_common.h"

#include <algorithm>
#include <memory>
#include <utility>

namespace gathrix::net {

struct Transfer::Impl : detail::Request {
    using Clock = std::chrono::steady_clock;

    std::unique_ptr<Session> own_session;  // when the transfer has a session of its own
    Session* session = nullptr;
    // A fresh handle for every attempt, so that nothing of how the previous one
    // ended can make the next fail. Connections are kept alive all the same:
    // they live in the session's cache, not in the easy handle.
    CURL* easy = nullptr;
    bool attached = false;  // easy is on the session, i.e. an attempt is running

    std::chrono::seconds timeout{60};
    bool fail_on_error = false;
    std::string address;
    std::filesystem::path spool_dir;
    int retries_done = 0;
    std::optional<Clock::time_point> retry_at;  // a failed attempt waits to be sent again

    TransferResult result = TransferResult::Running;
    bool idle = true;
    long status = 0;
    Failure failure;
    detail::ResponseHeaders headers;  // of the latest response
    std::optional<detail::SpoolFile> spool;
    std::int64_t body_size = 0;

    explicit Impl(Session* shared)
        : own_session(shared ? nullptr : std::make_unique<Session>()), session(shared ? shared : own_session.get()) {}

    ~Impl() override {
        Stop();
        if (easy) curl_easy_cleanup(easy);
    }

    bool Busy() const { return attached || retry_at.has_value(); }

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
        retry_at.reset();
        if (spool) {
            body_size = spool->Size();
            spool.reset();  // removes the file
        }
    }

    void Reset() {
        result = TransferResult::Running;
        status = 0;
        failure = {};
        headers.Clear();
        body_size = 0;
    }

    static std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* userdata) {
        auto* self = static_cast<Impl*>(userdata);
        if (!self->spool) return 0;
        const std::size_t bytes = size * count;
        if (!self->spool->Write(data, bytes)) return 0;
        self->body_size = self->spool->Size();
        return bytes;
    }

    // Sends one attempt of the request. False (and the transfer ends as Failed)
    // when it cannot be started.
    bool Start() {
        Reset();
        auto fail = [this](FailureKind why) {
            spool.reset();
            result = TransferResult::Failed;
            failure.kind = why;
            return false;
        };
        if (!detail::AddressAccepted(address)) return fail(FailureKind::NotHttp);
        Detach();
        if (easy) curl_easy_cleanup(easy);
        easy = curl_easy_init();
        if (!easy) return fail(FailureKind::OutOfMemory);
        spool = detail::SpoolFile::Create(spool_dir);
        if (!spool) return fail(FailureKind::WriteError);
        if (!detail::ApplyRequestOptions(easy, address, timeout)) return fail(FailureKind::OutOfMemory);
        if (fail_on_error) curl_easy_setopt(easy, CURLOPT_FAILONERROR, 1L);
        curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &detail::ResponseHeaders::OnHeader);
        curl_easy_setopt(easy, CURLOPT_HEADERDATA, &headers);
        curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Impl::OnBody);
        curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
        if (!detail::Attach(*session, easy, this)) return fail(FailureKind::OutOfMemory);
        attached = true;
        return true;
    }

    void Done(CURLcode code) override {
        if (!attached) return;
        const detail::Outcome outcome = detail::Judge(easy, code, headers, spool ? spool->Size() : 0, timeout);
        Detach();
        status = outcome.status;
        failure = outcome.failure;
        if (detail::Retryable(outcome) && retries_done < session->Retries()) {
            // Sent again after a pause; until then the transfer is still running.
            ++retries_done;
            retry_at = Clock::now() + detail::RetryDelay(retries_done, headers, session->RetryBase());
            spool.reset();
            return;
        }
        if (outcome.complete) {
            result = TransferResult::Complete;
        } else {
            result = TransferResult::Failed;
            spool.reset();
        }
    }

    void Pump() {
        if (attached) session->Pump();
        if (retry_at && Clock::now() >= *retry_at) {
            retry_at.reset();
            if (Start()) session->Pump();
        }
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
    d.idle = false;
    d.address = address;
    d.spool_dir = spool_dir;
    d.retries_done = 0;
    if (!d.Start()) return false;
    d.Pump();
    return true;
}

bool Transfer::StillExecuting() {
    impl_->Pump();
    return impl_->Busy();
}

bool Transfer::Wait(std::chrono::milliseconds max_wait) {
    Impl& d = *impl_;
    if (!d.Busy()) return false;
    if (d.retry_at) {
        // Waiting to send again: sleep no longer than that (the session's other
        // requests move meanwhile).
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(*d.retry_at - Impl::Clock::now());
        max_wait = std::clamp(left, std::chrono::milliseconds(0), max_wait);
    }
    d.session->Wait(max_wait);
    d.Pump();
    return d.Busy();
}

TransferResult Transfer::Result() const { return impl_->result; }

bool Transfer::Idle() const { return impl_->idle; }

long Transfer::Status() const { return impl_->status; }

std::optional<std::string> Transfer::GetHeader(const std::string& name) const { return impl_->headers.Get(name); }

std::int64_t Transfer::BodySize() const { return impl_->body_size; }

std::optional<std::int64_t> Transfer::AnnouncedSize() const {
    if (!impl_->easy || !impl_->attached) return std::nullopt;
    return detail::ContentLength(impl_->easy);
}

Failure Transfer::WhyFailed() const { return impl_->failure; }

bool Transfer::Commit(const std::filesystem::path& target) {
    Impl& d = *impl_;
    if (d.result != TransferResult::Complete || !d.spool) return false;
    bool ok = d.spool->MoveTo(target);
    d.spool.reset();
    return ok;
}

void Transfer::SetFailOnError(bool on) { impl_->fail_on_error = on; }

std::optional<std::filesystem::path> Transfer::KeepBody() {
    Impl& d = *impl_;
    if (d.result != TransferResult::Complete || !d.spool) return std::nullopt;
    std::optional<std::filesystem::path> kept = d.spool->Keep();
    d.spool.reset();
    return kept;
}

void Transfer::Cancel() {
    Impl& d = *impl_;
    d.Stop();
    d.Reset();
    d.result = TransferResult::Cancelled;
    d.idle = true;
}

}  // namespace gathrix::net
