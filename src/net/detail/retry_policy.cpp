#include "detail/retry_policy.h"

#include <curl/curl.h>

#include <algorithm>
#include <ctime>
#include <optional>
#include <string>

namespace gathrix::net::detail {

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

}  // namespace gathrix::net::detail
