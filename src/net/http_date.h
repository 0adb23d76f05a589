#pragma once
// Dates as HTTP headers write them (Last-Modified, Retry-After, Expires).

#include <cstdint>
#include <optional>
#include <string>

namespace gathrix::net {

// Seconds since 1970-01-01 00:00 UTC of a date in any of the forms HTTP
// allows ("Wed, 21 Oct 2015 07:28:00 GMT", and the older two); nullopt for
// anything else and for dates before 1970.
std::optional<std::int64_t> ParseHttpDate(const std::string& text);

}  // namespace gathrix::net
