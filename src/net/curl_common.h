#pragma once
// Pieces shared by the blocking download and Transfer: libcurl start-up, the
// options every request gets, and the spool file that holds a body until it is
// known to be complete.

#include <curl/curl.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "events/failure.h"

namespace gathrix::net {
class Session;
}

namespace gathrix::net::detail {

// Initialises libcurl once per process; safe to call from any thread. False
// when libcurl could not be initialised.
bool EnsureCurl();

// The address as a request sends it: past the host, every blank, every byte
// past ASCII and the marks " < > ` { } percent-encoded, as browsers do ("Été
// 2009" becomes "%C3%89t%C3%A9%202009"); everything else, a "%" included, as
// it is, so an encoded address is sent unchanged. Control bytes are left for
// AddressAccepted to refuse. What the program shows keeps the address as given.
std::string RequestAddress(const std::string& address);

// True for an address that libcurl can parse, once encoded for the request,
// and whose scheme is http or https (an address without a scheme is taken as
// http, as libcurl does).
bool AddressAccepted(const std::string& address);

// Options common to every GET: the address (encoded for the request),
// redirects (at most kMaxRedirects, http and https only), the user agent, and
// connecting for at most `stall`.
// The stall limit once connected, and the cap on a request's whole time, are
// the session's to enforce (see Request).
inline constexpr long kMaxRedirects = 10;
bool ApplyRequestOptions(CURL* easy, const std::string& address, std::chrono::milliseconds stall);

#ifdef GATHRIX_TEST_HOOKS
// Sends the request set up on easy along the local route (net/local_route.h)
// when one is set; true when none is, or when libcurl took every option.
// Present in the test variant of the library only.
bool ApplyLocalRoute(CURL* easy, const std::string& address);
#endif

// Content-Length of the last response libcurl received, when it sent one.
std::optional<std::int64_t> ContentLength(CURL* easy);

// The headers of the last response of a request (after redirects and interim
// 1xx responses, only the final one's), collected by OnHeader.
class ResponseHeaders {
public:
    // libcurl header callback; userdata is the ResponseHeaders.
    static std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* userdata);

    void Clear() { headers_.clear(); }
    // Value of the first header of that name (case-insensitive).
    std::optional<std::string> Get(const std::string& name) const;
    // False when the response's Content-Length cannot be trusted: a value that is
    // not a plain decimal number, one too large to hold, or two different values.
    // libcurl drops such a header silently, and the body then cannot be checked.
    bool LengthSound() const;

private:
    std::vector<std::pair<std::string, std::string>> headers_;
};

// What a finished attempt tells: whether it is complete (a whole body, with
// whatever status), the status, and why not.
struct Outcome {
    bool complete = false;
    long status = 0;
    Failure failure;  // none when complete with a status below 400
};

// Judges a request that libcurl has finished with code on easy: a body cut
// short, a Content-Length that cannot be trusted (headers) or that does not
// match body_size makes it incomplete. stall is the request's time-out.
// Unless the request asked for a range, a 206 is complete only when its
// Content-Range is the whole ("bytes 0-(N-1)/N") and body_size is N; any other
// fails as PartialAnswer.
Outcome Judge(CURL* easy, CURLcode code, const ResponseHeaders& headers, std::int64_t body_size,
              std::chrono::milliseconds stall, bool asked_range = false);

// A Content-Range value "bytes START-END/TOTAL" taken apart; nullopt for any
// other form (an unknown total "*" included) or a range outside the total.
struct ContentRange {
    std::int64_t start = 0;
    std::int64_t end = 0;
    std::int64_t total = 0;
};
std::optional<ContentRange> ParseContentRange(const std::string& value);

// Whether an attempt that ended so is worth sending again: a connection error,
// a time-out, or status 408, 429, 500, 502, 503 or 504.
bool Retryable(const Outcome& outcome);

// How long to wait before retry number `retry` (1, 2, ...): base, 2 base,
// 4 base, ... at most 30 base; a Retry-After of up to 60 s (in seconds or as
// a date) is taken instead. base is one second but for tests.
std::chrono::milliseconds RetryDelay(int retry, const ResponseHeaders& headers, std::chrono::milliseconds base);

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

// Writes all of data to fd, going on after interruptions; false on an error.
bool WriteAll(int fd, const char* data, std::size_t size);

// A new private file ".gathrix-XXXXXX.part" in a folder, written sequentially.
// It disappears with the object unless MoveTo() has placed it under its final
// name, so an interrupted body never survives.
class SpoolFile {
public:
    // Creates the file in dir (the current directory when dir is empty).
    static std::optional<SpoolFile> Create(const std::filesystem::path& dir);

    SpoolFile(SpoolFile&& other) noexcept;
    SpoolFile& operator=(SpoolFile&& other) noexcept;
    SpoolFile(const SpoolFile&) = delete;
    SpoolFile& operator=(const SpoolFile&) = delete;
    ~SpoolFile();

    // Appends bytes; false when they could not all be written.
    bool Write(const char* data, std::size_t size);
    std::int64_t Size() const { return size_; }
    const std::filesystem::path& Path() const { return path_; }

    // Closes the file (flushing it) and renames it to target, replacing any file
    // of that name in one step. On failure the spool file is removed.
    bool MoveTo(const std::filesystem::path& target);
    // Closes and removes the file.
    void Discard();
    // Closes the file and hands it over, still registered as temporary: the
    // caller removes it (RemoveTemporaryFile) when done with it.
    std::optional<std::filesystem::path> Keep();

private:
    SpoolFile(int fd, std::filesystem::path path) : fd_(fd), path_(std::move(path)) {}
    bool CloseFd();

    int fd_ = -1;
    std::filesystem::path path_;
    std::int64_t size_ = 0;
};

}  // namespace gathrix::net::detail
