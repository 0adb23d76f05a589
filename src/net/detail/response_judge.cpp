#include "detail/response_judge.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <limits>
#include <string_view>

#include "detail/request_options.h"

namespace gathrix::net::detail {

std::optional<std::int64_t> ContentLength(CURL* easy) {
    curl_off_t length = -1;
    if (curl_easy_getinfo(easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) != CURLE_OK || length < 0) {
        return std::nullopt;
    }
    return static_cast<std::int64_t>(length);
}

namespace {

bool EqualsIgnoreCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

std::string Trim(std::string s) {
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!s.empty() && blank(s.back())) s.pop_back();
    std::size_t start = 0;
    while (start < s.size() && blank(s[start])) ++start;
    return s.substr(start);
}

// A Content-Length value: one or more decimal digits that fit in 63 bits, or a
// list of such values separated by commas (a repeated header folded into one),
// all equal. nullopt for anything else.
std::optional<std::int64_t> ParseLength(const std::string& value) {
    std::optional<std::int64_t> length;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = value.find(',', start);
        const std::string part =
            Trim(value.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (part.empty()) return std::nullopt;
        std::int64_t number = 0;
        for (char ch : part) {
            if (ch < '0' || ch > '9') return std::nullopt;
            if (number > (std::numeric_limits<std::int64_t>::max() - (ch - '0')) / 10) return std::nullopt;
            number = number * 10 + (ch - '0');
        }
        if (length && *length != number) return std::nullopt;
        length = number;
        if (comma == std::string::npos) return length;
        start = comma + 1;
    }
}

}  // namespace

std::size_t ResponseHeaders::OnHeader(char* data, std::size_t size, std::size_t count, void* userdata) {
    auto* self = static_cast<ResponseHeaders*>(userdata);
    const std::size_t bytes = size * count;
    std::string line(data, bytes);
    if (line.rfind("HTTP/", 0) == 0) {
        // A new response begins (after a redirect or an interim 1xx): only the
        // headers of the last one are kept.
        self->headers_.clear();
    } else if (auto colon = line.find(':'); colon != std::string::npos && colon > 0) {
        self->headers_.emplace_back(Trim(line.substr(0, colon)), Trim(line.substr(colon + 1)));
    }
    return bytes;
}

std::optional<std::string> ResponseHeaders::Get(const std::string& name) const {
    for (const auto& [key, value] : headers_) {
        if (EqualsIgnoreCase(key, name)) return value;
    }
    return std::nullopt;
}

bool ResponseHeaders::LengthSound() const {
    std::optional<std::int64_t> length;
    for (const auto& [key, value] : headers_) {
        if (!EqualsIgnoreCase(key, "Content-Length")) continue;
        const std::optional<std::int64_t> this_one = ParseLength(value);
        if (!this_one || (length && *length != *this_one)) return false;
        length = this_one;
    }
    return true;
}

namespace {

// libcurl's codes that say all there is to say about a failure.
struct PlainFailure {
    CURLcode code;
    FailureKind kind;
};
constexpr PlainFailure kPlainFailures[] = {
    {CURLE_COULDNT_RESOLVE_HOST, FailureKind::UnknownHost},
    {CURLE_PARTIAL_FILE, FailureKind::BodyCutShort},
    {CURLE_TOO_MANY_REDIRECTS, FailureKind::TooManyRedirects},
    {CURLE_GOT_NOTHING, FailureKind::EmptyReply},
    {CURLE_SEND_ERROR, FailureKind::ConnectionBroken},
    {CURLE_RECV_ERROR, FailureKind::ConnectionBroken},
    {CURLE_WRITE_ERROR, FailureKind::WriteError},
    {CURLE_PEER_FAILED_VERIFICATION, FailureKind::UntrustedServer},
    {CURLE_SSL_CACERT_BADFILE, FailureKind::BadCaFile},
};

// What libcurl's code says of a request that got past the status and the
// range checks: a plain failure, a body that does not add up, or a whole one.
void JudgeCode(CURL* easy, CURLcode code, const ResponseHeaders& headers, std::int64_t body_size,
               std::chrono::milliseconds stall, Outcome& outcome) {
    for (const PlainFailure& plain : kPlainFailures) {
        if (plain.code == code) {
            outcome.failure.kind = plain.kind;
            return;
        }
    }
    switch (code) {
        case CURLE_OK:
            if (outcome.status == 0) {
                outcome.failure.kind = FailureKind::NoResponse;
            } else if (!headers.LengthSound()) {
                outcome.failure.kind = FailureKind::BadLength;
            } else if (auto length = ContentLength(easy); length && *length != body_size) {
                // libcurl reports a body cut short itself; this is a second guard.
                outcome.failure.kind = FailureKind::BodyCutShort;
            } else {
                outcome.complete = true;
            }
            break;
        case CURLE_COULDNT_CONNECT: {
            long os_error = 0;
            curl_easy_getinfo(easy, CURLINFO_OS_ERRNO, &os_error);
            outcome.failure.kind = os_error == ECONNREFUSED ? FailureKind::Refused : FailureKind::NoConnection;
            break;
        }
        case CURLE_OPERATION_TIMEDOUT:
            outcome.failure.kind = FailureKind::Stalled;
            outcome.failure.stall = stall;
            break;
        case CURLE_UNSUPPORTED_PROTOCOL: {
            // Both a redirect to another scheme and a reply without a status
            // line (HTTP/0.9, which libcurl refuses) end so, also after a
            // redirect; the address last asked for tells them apart.
            char* last = nullptr;
            curl_easy_getinfo(easy, CURLINFO_EFFECTIVE_URL, &last);
            outcome.failure.kind =
                last != nullptr && !AddressAccepted(last) ? FailureKind::RedirectNotHttp : FailureKind::NoStatusLine;
            break;
        }
        default:
            outcome.failure.kind = FailureKind::Other;
            outcome.failure.detail = curl_easy_strerror(code);
            break;
    }
}

}  // namespace

Outcome Judge(CURL* easy, CURLcode code, const ResponseHeaders& headers, std::int64_t body_size,
              std::chrono::milliseconds stall, bool asked_range) {
    Outcome outcome;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &outcome.status);
    if (code == CURLE_HTTP_RETURNED_ERROR || (code == CURLE_OK && outcome.status >= 400)) {
        outcome.complete = code == CURLE_OK;
        outcome.failure = {FailureKind::HttpStatus, outcome.status};
        return outcome;
    }
    if (outcome.status == 206 && !asked_range) {
        // Asked for the whole, answered with part of it: no picture, whatever
        // else went wrong on the way. A range that covers the whole is the
        // whole when every byte of it came.
        const std::optional<std::string> value = headers.Get("Content-Range");
        const std::optional<ContentRange> range = value ? ParseContentRange(*value) : std::nullopt;
        if (!range || range->start != 0 || range->end + 1 != range->total ||
            (code == CURLE_OK && body_size != range->total)) {
            outcome.failure.kind = FailureKind::PartialAnswer;
            return outcome;
        }
    }
    JudgeCode(easy, code, headers, body_size, stall, outcome);
    return outcome;
}

namespace {

bool ToNumber(std::string_view text, std::int64_t& number) {
    if (text.empty() || text.size() > 18) return false;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    return error == std::errc() && end == text.data() + text.size() && number >= 0;
}

}  // namespace

std::optional<ContentRange> ParseContentRange(const std::string& value) {
    constexpr std::string_view kUnit = "bytes ";
    if (!value.starts_with(kUnit)) return std::nullopt;
    const std::string_view rest = std::string_view(value).substr(kUnit.size());
    const std::size_t dash = rest.find('-');
    const std::size_t slash = rest.find('/');
    if (dash == std::string_view::npos || slash == std::string_view::npos || slash < dash) return std::nullopt;
    ContentRange range;
    if (!ToNumber(rest.substr(0, dash), range.start) || !ToNumber(rest.substr(dash + 1, slash - dash - 1), range.end) ||
        !ToNumber(rest.substr(slash + 1), range.total) || range.end < range.start || range.end >= range.total) {
        return std::nullopt;
    }
    return range;
}

}  // namespace gathrix::net::detail
