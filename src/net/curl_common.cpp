#include "net/curl_common.h"

#include "net/temp_files.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <limits>
#include <utility>

#ifndef GATHRIX_VERSION_STRING
#define GATHRIX_VERSION_STRING "0"
#endif

namespace gathrix::net::detail {

bool EnsureCurl() {
    static const bool ok = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    return ok;
}

std::string RequestAddress(const std::string& address) {
    // The host ends at the first "/", "?" or "#" after the "//" of the scheme
    // (or from the start, for an address without one): what follows is sent.
    const std::size_t scheme = address.find("://");
    const std::size_t host = scheme == std::string::npos ? 0 : scheme + 3;
    const std::size_t sent = std::min(address.find_first_of("/?#", host), address.size());
    std::string request = address.substr(0, sent);
    request.reserve(address.size());
    constexpr char kHex[] = "0123456789ABCDEF";
    for (std::size_t i = sent; i < address.size(); ++i) {
        const auto byte = static_cast<unsigned char>(address[i]);
        // A blank, the marks browsers encode in a path (" < > ` { }) and every
        // byte past ASCII; control bytes stay as they are and fail the address.
        if (byte == ' ' || byte == '"' || byte == '<' || byte == '>' || byte == '`' || byte == '{' || byte == '}' ||
            byte >= 0x80) {
            request += '%';
            request += kHex[byte >> 4];
            request += kHex[byte & 0x0F];
        } else {
            request += static_cast<char>(byte);
        }
    }
    return request;
}

bool AddressAccepted(const std::string& address) {
    if (!EnsureCurl()) return false;
    CURLU* url = curl_url();
    if (!url) return false;
    bool ok = false;
    if (curl_url_set(url, CURLUPART_URL, RequestAddress(address).c_str(), CURLU_GUESS_SCHEME) == CURLUE_OK) {
        char* scheme = nullptr;
        if (curl_url_get(url, CURLUPART_SCHEME, &scheme, 0) == CURLUE_OK && scheme) {
            std::string s = scheme;
            ok = s == "http" || s == "https";
        }
        curl_free(scheme);
    }
    curl_url_cleanup(url);
    return ok;
}

bool ApplyRequestOptions(CURL* easy, const std::string& address, std::chrono::milliseconds stall) {
    const long stall_ms = stall.count() > 0 ? static_cast<long>(stall.count()) : 1000L;
    bool ok = true;
    auto set = [&ok](CURLcode code) { ok = ok && code == CURLE_OK; };
    set(curl_easy_setopt(easy, CURLOPT_URL, RequestAddress(address).c_str()));
    set(curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L));
    set(curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https"));
    set(curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https"));
    set(curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L));
    set(curl_easy_setopt(easy, CURLOPT_MAXREDIRS, kMaxRedirects));
    set(curl_easy_setopt(easy, CURLOPT_AUTOREFERER, 1L));
    set(curl_easy_setopt(easy, CURLOPT_USERAGENT, "Gathrix/" GATHRIX_VERSION_STRING));
    set(curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L));
    set(curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, stall_ms));
    // Larger reads mean fewer system calls on big pictures. Only a matter of
    // speed, so a refusal is no reason to fail the request.
    curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, 128L * 1024L);
#ifdef GATHRIX_TEST_HOOKS
    // The local route of the fuzz harnesses (net/local_route.h).
    ok = ok && ApplyLocalRoute(easy, address);
#endif
    return ok;
}

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
    for (const PlainFailure& plain : kPlainFailures) {
        if (plain.code == code) {
            outcome.failure.kind = plain.kind;
            return outcome;
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

bool Retryable(const Outcome& outcome) {
    switch (outcome.status) {
        case 408:
        case 429:
        case 500:
        case 502:
        case 503:
        case 504:
            return true;
        default:
            break;
    }
    if (outcome.complete || outcome.status >= 400) return false;
    // Connection errors and time-outs; not a redirect to another scheme, a reply
    // without a status line, a redirect loop, a bad Content-Length or a file that
    // could not be written.
    switch (outcome.failure.kind) {
        case FailureKind::UnknownHost:
        case FailureKind::Refused:
        case FailureKind::NoConnection:
        case FailureKind::Stalled:
        case FailureKind::TookTooLong:
        case FailureKind::BodyCutShort:
        case FailureKind::EmptyReply:
        case FailureKind::ConnectionBroken:
        case FailureKind::NoResponse:
            return true;
        default:
            return false;
    }
}

std::chrono::milliseconds RetryDelay(int retry, const ResponseHeaders& headers, std::chrono::milliseconds base) {
    if (std::optional<std::string> after = headers.Get("Retry-After")) {
        long long seconds = -1;
        if (!after->empty() && std::all_of(after->begin(), after->end(), [](char c) { return c >= '0' && c <= '9'; })) {
            seconds = after->size() <= 6 ? std::stoll(*after) : -1;
        } else if (const time_t when = curl_getdate(after->c_str(), nullptr); when >= 0) {
            seconds = std::max<long long>(0, static_cast<long long>(when - std::time(nullptr)));
        }
        if (seconds >= 0 && seconds <= 60) return base * seconds;
    }
    const int doublings = std::clamp(retry - 1, 0, 5);  // 1, 2, 4, 8, 16, 32 -> at most 30
    return base * std::min(1LL << doublings, 30LL);
}

// ---------------------------------------------------------------------------

std::optional<SpoolFile> SpoolFile::Create(const std::filesystem::path& dir) {
    std::optional<NewTemporaryFile> file = CreateTemporaryFile(dir, ".part");
    if (!file) return std::nullopt;
    return SpoolFile(file->fd, std::move(file->path));
}

SpoolFile::SpoolFile(SpoolFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), path_(std::move(other.path_)), size_(other.size_) {
    other.path_.clear();
}

SpoolFile& SpoolFile::operator=(SpoolFile&& other) noexcept {
    if (this != &other) {
        Discard();
        fd_ = std::exchange(other.fd_, -1);
        path_ = std::move(other.path_);
        other.path_.clear();
        size_ = other.size_;
    }
    return *this;
}

SpoolFile::~SpoolFile() { Discard(); }

bool WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool SpoolFile::Write(const char* data, std::size_t size) {
    if (fd_ < 0 || !WriteAll(fd_, data, size)) return false;
    size_ += static_cast<std::int64_t>(size);
    return true;
}

bool SpoolFile::CloseFd() {
    if (fd_ < 0) return true;
    int rc = ::close(fd_);
    fd_ = -1;
    return rc == 0;
}

bool SpoolFile::MoveTo(const std::filesystem::path& target) {
    if (path_.empty()) return false;
    bool ok = CloseFd() && RenameTemporaryFile(path_, target);
    if (ok) {
        path_.clear();
    } else {
        const int error = errno;  // the reason, not that of removing the file
        Discard();
        errno = error;
    }
    return ok;
}

void SpoolFile::Discard() {
    CloseFd();
    if (!path_.empty()) {
        RemoveTemporaryFile(path_);
        path_.clear();
    }
}

std::optional<std::filesystem::path> SpoolFile::Keep() {
    if (path_.empty()) return std::nullopt;
    if (!CloseFd()) {
        Discard();
        return std::nullopt;
    }
    return std::exchange(path_, std::filesystem::path());
}

}  // namespace gathrix::net::detail
