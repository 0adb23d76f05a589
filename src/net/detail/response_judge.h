#pragma once
// What a finished request came to: the headers of its last response, and the
// judgement whether its body is whole, which status it had, and why not.

#include <curl/curl.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "events/failure.h"

namespace gathrix::net::detail {

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

}  // namespace gathrix::net::detail
