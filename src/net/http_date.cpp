#include "net/http_date.h"

#include <curl/curl.h>

namespace gathrix::net {

std::optional<std::int64_t> ParseHttpDate(const std::string& text) {
    const time_t when = curl_getdate(text.c_str(), nullptr);
    if (when < 0) return std::nullopt;
    return static_cast<std::int64_t>(when);
}

}  // namespace gathrix::net
