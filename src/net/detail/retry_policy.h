#pragma once
// Which failed attempts are sent again, and after how long.

#include <chrono>

#include "detail/response_judge.h"

namespace gathrix::net::detail {

// Whether an attempt that ended so is worth sending again: a connection error,
// a time-out, or status 408, 429, 500, 502, 503 or 504.
bool Retryable(const Outcome& outcome);

// How long to wait before retry number `retry` (1, 2, ...): base, 2 base,
// 4 base, ... at most 30 base; a Retry-After of up to 60 s (in seconds or as
// a date) is taken instead. base is one second but for tests.
std::chrono::milliseconds RetryDelay(int retry, const ResponseHeaders& headers, std::chrono::milliseconds base);

}  // namespace gathrix::net::detail
