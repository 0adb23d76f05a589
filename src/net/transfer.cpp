#include "net/transfer.h"

#include "detail/request_options.h"
#include "detail/response_judge.h"
#include "detail/retry_policy.h"
#include "detail/session_inside.h"
#include "detail/spool_file.h"
#include "net/sha256.h"

#include <algorithm>
#include <cerrno>
#include <memory>
#include <utility>
#include <vector>

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

    std::chrono::milliseconds timeout{60000};
    bool fail_on_error = false;
    bool spaced = false;  // a picture: waits its turn after the one before
    bool hash_body = false;
    std::string address;
    std::optional<Validators> only_if_changed;
    std::filesystem::path spool_dir;
    int retries_done = 0;
    std::optional<Clock::time_point> retry_at;  // a failed attempt waits to be sent again

    TransferResult result = TransferResult::Running;
    bool idle = true;
    long status = 0;
    Failure failure;
    detail::ResponseHeaders headers;  // of the latest response
    std::optional<detail::SpoolFile> spool;
    // Instead of spool, when the body is kept across runs.
    std::optional<KeptBodyFiles> keep;
    std::unique_ptr<detail::KeptBody> kept;
    bool started_over = false;  // the kept bytes were dropped once already
    bool resumed = false;
    curl_slist* request_headers = nullptr;
    bool asked_range = false;  // the request asks for the rest of a kept body
    Sha256 hash;               // of the body bytes stored so far
    std::string sha256;        // of the whole body, once complete
    std::int64_t body_size = 0;
    int write_error = 0;  // errno of the write that failed the body, if one did

    explicit Impl(Session* shared)
        : own_session(shared ? nullptr : std::make_unique<Session>()), session(shared ? shared : own_session.get()) {}

    ~Impl() override {
        Stop();
        if (easy) curl_easy_cleanup(easy);
        curl_slist_free_all(request_headers);
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
        if (attached && spaced) detail::PictureEnded(*session);
        Detach();
        retry_at.reset();
        if (spool) {
            body_size = spool->Size();
            spool.reset();  // removes the file
        }
        if (kept) {
            body_size = kept->Size();
            kept.reset();  // stays for later when its version is on record
        }
    }

    void Reset() {
        result = TransferResult::Running;
        status = 0;
        failure = {};
        headers.Clear();
        body_size = 0;
        resumed = false;
        write_error = 0;
        hash.Reset();
        sha256.clear();
    }

    static std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* userdata) {
        auto* self = static_cast<Impl*>(userdata);
        const std::size_t bytes = size * count;
        if (!detail::MayReceive(*self->session, self->easy, self, bytes)) return CURL_WRITEFUNC_PAUSE;
        if (self->kept) {
            detail::KeptBody& kept = *self->kept;
            if (!kept.Began() && !kept.Begin(self->ResponseStatus(), self->headers)) return 0;
            if (!kept.Write(data, bytes)) return self->WriteFailed();
            if (self->hash_body && !kept.Discarding()) self->hash.Update(data, bytes);
            self->body_size = kept.Size();
            return bytes;
        }
        if (!self->spool) return 0;
        if (!self->spool->Write(data, bytes)) return self->WriteFailed();
        if (self->hash_body) self->hash.Update(data, bytes);
        self->body_size = self->spool->Size();
        return bytes;
    }

    // A write of the body failed: its errno goes with the failure.
    std::size_t WriteFailed() {
        write_error = errno;
        return 0;
    }

    // Headers count as arriving bytes for the stall limit.
    static std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* userdata) {
        auto* self = static_cast<Impl*>(userdata);
        self->last_byte = Clock::now();
        return detail::ResponseHeaders::OnHeader(data, size, count, &self->headers);
    }

    // When a picture may be sent: at once, or after the pause that follows
    // the one before.
    Clock::time_point StartAt() const { return spaced ? detail::NextPictureAt(*session) : Clock::time_point{}; }

    // Sends one attempt of the request. False (and the transfer ends as Failed)
    // when it cannot be started.
    bool Start() {
        Reset();
        auto fail = [this](FailureKind why) {
            spool.reset();
            kept.reset();
            result = TransferResult::Failed;
            failure.kind = why;
            return false;
        };
        if (!detail::AddressAccepted(address)) return fail(FailureKind::NotHttp);
        Detach();
        if (easy) curl_easy_cleanup(easy);
        easy = curl_easy_init();
        if (!easy) return fail(FailureKind::OutOfMemory);
        curl_slist_free_all(std::exchange(request_headers, nullptr));
        if (keep) kept = detail::KeptBody::Open(*keep, address);
        asked_range = kept && kept->Offset() > 0;
        std::vector<std::string> lines;
        if (asked_range) {
            // Only the rest, and only of the version the kept bytes are of.
            lines.push_back("Range: bytes=" + std::to_string(kept->Offset()) + "-");
            lines.push_back("If-Range: " + kept->Validator());
            body_size = kept->Offset();
        } else if (!kept && only_if_changed) {
            if (!only_if_changed->etag.empty()) {
                lines.push_back("If-None-Match: " + only_if_changed->etag);
            } else if (!only_if_changed->last_modified.empty()) {
                lines.push_back("If-Modified-Since: " + only_if_changed->last_modified);
            }
        }
        for (const std::string& line : lines) {
            curl_slist* longer = curl_slist_append(request_headers, line.c_str());
            if (!longer) return fail(FailureKind::OutOfMemory);
            request_headers = longer;
        }
        if (!kept) spool = detail::SpoolFile::Create(spool_dir);
        if (!kept && !spool) {
            const int error = errno;
            fail(FailureKind::WriteError);
            failure.system_error = error;
            return false;
        }
        if (!detail::ApplyRequestOptions(easy, address, timeout)) return fail(FailureKind::OutOfMemory);
        if (request_headers) curl_easy_setopt(easy, CURLOPT_HTTPHEADER, request_headers);
        if (fail_on_error) curl_easy_setopt(easy, CURLOPT_FAILONERROR, 1L);
        curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &Impl::OnHeader);
        curl_easy_setopt(easy, CURLOPT_HEADERDATA, this);
        curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Impl::OnBody);
        curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
        stall = timeout;
        if (!detail::Attach(*session, easy, this)) return fail(FailureKind::OutOfMemory);
        attached = true;
        if (spaced) detail::PictureStarted(*session);
        return true;
    }

    long ResponseStatus() const {
        long code = 0;
        curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &code);
        return code;
    }

    // A kept body whose response did not fit what was asked (416, another
    // range, a length that does not add up) is dropped and asked for whole,
    // once. True when that new request is under way (or has failed to start).
    bool StartOverKept(const detail::Outcome& outcome) {
        if (!kept || started_over) return false;
        // An empty body never reached OnBody: its status decides now.
        if (!kept->Began() && outcome.status > 0) kept->Begin(outcome.status, headers);
        const bool short_append = outcome.complete && kept->Appending() && !kept->WholeAfterAppend();
        if (!kept->StartOver() && !short_append) return false;
        started_over = true;
        kept->Drop();
        kept.reset();
        Detach();
        if (Start()) session->Pump();
        return true;
    }

    void Done(CURLcode code) override {
        if (!attached) return;
        const std::int64_t received = kept ? kept->Received() : spool ? spool->Size() : 0;
        detail::Outcome outcome = detail::Judge(easy, code, headers, received, timeout, asked_range);
        if (over_time && code == CURLE_OPERATION_TIMEDOUT) {
            outcome.failure = {FailureKind::TookTooLong};
            outcome.failure.stall = session->MaxTime();
        }
        if (spaced) detail::PictureEnded(*session);
        if (StartOverKept(outcome)) return;
        Detach();
        status = outcome.status;
        failure = outcome.failure;
        if (failure.kind == FailureKind::WriteError) failure.system_error = write_error;
        if (detail::Retryable(outcome) && retries_done < session->Retries()) {
            // Sent again after a pause; until then the transfer is still running.
            ++retries_done;
            const std::chrono::milliseconds delay = detail::RetryDelay(retries_done, headers, session->RetryBase());
            retry_at = Clock::now() + delay;
            session->NoteRetry({address, failure, delay, retries_done + 1, session->Retries() + 1});
            spool.reset();
            kept.reset();  // the retry continues what came
            return;
        }
        if (outcome.complete) {
            result = TransferResult::Complete;
            resumed = kept && kept->Appending();
            // A continued body was only partly streamed here: its digest is
            // that of the whole file.
            if (hash_body) sha256 = resumed ? FileSha256(keep->body).value_or(std::string()) : hash.Hex();
        } else {
            result = TransferResult::Failed;
            spool.reset();
            if (kept) body_size = kept->Size();
            kept.reset();
        }
    }

    void Pump() {
        if (attached) session->Pump();
        if (retry_at && Clock::now() >= *retry_at) {
            // Another picture may have started meanwhile.
            if (const Clock::time_point turn = StartAt(); turn > Clock::now()) {
                retry_at = turn;
                return;
            }
            retry_at.reset();
            if (Start()) session->Pump();
        }
    }
};

Transfer::Transfer() : impl_(std::make_unique<Impl>(nullptr)) {}

Transfer::Transfer(Session& session) : impl_(std::make_unique<Impl>(&session)) {}

Session& Transfer::GetSession() { return *impl_->session; }

Transfer::~Transfer() = default;

void Transfer::SetRequestTimeout(std::chrono::milliseconds timeout) {
    impl_->timeout = timeout.count() > 0 ? timeout : std::chrono::seconds(1);
}

bool Transfer::Execute(const std::string& address, const std::filesystem::path& spool_dir,
                       const std::optional<KeptBodyFiles>& keep, const std::optional<Validators>& only_if_changed) {
    Impl& d = *impl_;
    d.Stop();
    d.idle = false;
    d.address = address;
    d.spool_dir = spool_dir;
    d.keep = keep;
    d.only_if_changed = only_if_changed;
    if (d.only_if_changed && !d.only_if_changed->Any()) d.only_if_changed.reset();
    d.started_over = false;
    d.retries_done = 0;
    if (const Impl::Clock::time_point turn = d.StartAt(); turn > Impl::Clock::now()) {
        // Sent when its turn comes, from the wait loop.
        d.Reset();
        d.retry_at = turn;
        return true;
    }
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
        const auto at = std::max(*d.retry_at, d.StartAt());
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(at - Impl::Clock::now());
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
    const std::optional<std::int64_t> length = detail::ContentLength(impl_->easy);
    // The rest of a kept body: the whole is what was kept and the rest.
    if (length && impl_->kept && impl_->kept->Appending()) return *length + impl_->kept->Offset();
    return length;
}

bool Transfer::Resumed() const { return impl_->resumed; }

bool Transfer::NotModified() const {
    const Impl& d = *impl_;
    return d.result == TransferResult::Complete && d.status == 304 && d.only_if_changed && !d.keep;
}

void Transfer::SetHashBody(bool on) { impl_->hash_body = on; }

const std::string& Transfer::BodySha256() const { return impl_->sha256; }

Failure Transfer::WhyFailed() const { return impl_->failure; }

bool Transfer::Commit(const std::filesystem::path& target) {
    Impl& d = *impl_;
    if (d.result != TransferResult::Complete || (!d.kept && !d.spool)) return false;
    const bool ok = d.kept ? d.kept->MoveTo(target) : d.spool->MoveTo(target);
    if (!ok) {
        d.failure = {FailureKind::WriteError};
        d.failure.system_error = errno;
    }
    d.kept.reset();
    d.spool.reset();
    return ok;
}

void Transfer::SetFailOnError(bool on) { impl_->fail_on_error = on; }

void Transfer::SetSpaced(bool on) { impl_->spaced = on; }

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
