#include "download/settings.h"

#include <cstdlib>
#include <string_view>

namespace gathrix {

namespace {
// The value of an environment variable that is set and not empty.
const char* Variable(const char* name) {
    const char* value = std::getenv(name);
    return (value != nullptr && *value != '\0') ? value : nullptr;
}
}  // namespace

std::optional<int> ParseNumber(std::string_view text, int low, int high) {
    if (text.empty() || text.size() > 9) return std::nullopt;
    int value = 0;
    for (char ch : text) {
        if (ch < '0' || ch > '9') return std::nullopt;
        value = value * 10 + (ch - '0');
    }
    if (value < low || value > high) return std::nullopt;
    return value;
}

std::optional<std::chrono::milliseconds> ParseSeconds(std::string_view text, int low, int high) {
    const std::size_t point = text.find('.');
    const std::optional<int> whole = ParseNumber(text.substr(0, point), 0, high);
    if (!whole) return std::nullopt;
    std::int64_t millis = std::int64_t{*whole} * 1000;
    if (point != std::string_view::npos) {
        const std::string_view fraction = text.substr(point + 1);
        if (fraction.empty() || fraction.size() > 9) return std::nullopt;
        std::int64_t scale = 100;
        for (char ch : fraction) {
            if (ch < '0' || ch > '9') return std::nullopt;
            millis += (ch - '0') * scale;
            scale /= 10;
        }
    }
    if (millis < std::int64_t{low} * 1000 || millis > std::int64_t{high} * 1000) return std::nullopt;
    return std::chrono::milliseconds(millis);
}

std::optional<int> ParseJobs(std::string_view text) { return ParseNumber(text, 1, kMaxJobs); }

std::optional<std::int64_t> ParseRate(std::string_view text) {
    double unit = 1;
    if (!text.empty()) {
        switch (text.back()) {
            case 'k':
            case 'K':
                unit = 1024.0;
                break;
            case 'm':
            case 'M':
                unit = 1024.0 * 1024.0;
                break;
            case 'g':
            case 'G':
                unit = 1024.0 * 1024.0 * 1024.0;
                break;
            default:
                break;
        }
        if (unit > 1) text.remove_suffix(1);
    }
    const std::size_t point = text.find('.');
    const std::string_view whole = text.substr(0, point);
    const std::string_view fraction = point == std::string_view::npos ? std::string_view() : text.substr(point + 1);
    if (whole.empty() || whole.size() > 13 || fraction.size() > 6 ||
        (point != std::string_view::npos && fraction.empty()))
        return std::nullopt;
    double value = 0;
    for (char ch : whole) {
        if (ch < '0' || ch > '9') return std::nullopt;
        value = value * 10 + (ch - '0');
    }
    double scale = 0.1;
    for (char ch : fraction) {
        if (ch < '0' || ch > '9') return std::nullopt;
        value += (ch - '0') * scale;
        scale /= 10;
    }
    value *= unit;
    if (value == 0) return 0;
    if (value < 1 || value > 1024.0 * 1024.0 * 1024.0 * 1024.0) return std::nullopt;
    return static_cast<std::int64_t>(value);
}

Settings Settings::FromEnvironment() {
    Settings settings;
    if (const char* v = Variable("GATHRIX_FLICKR_BASE_URL")) settings.flickr_base_url = v;
    if (const char* v = Variable("GATHRIX_WEBSHOTS_THUMBNAIL_PREFIX")) settings.webshots_thumbnail_prefix = v;
    if (const char* v = Variable("GATHRIX_WEBSHOTS_FULLSIZE_BASE")) settings.webshots_fullsize_base = v;
    if (const char* v = Variable("GATHRIX_REQUEST_TIMEOUT")) {
        // From one second to one day.
        if (const std::optional<int> seconds = ParseNumber(v, 1, 24 * 60 * 60)) {
            settings.request_timeout = std::chrono::seconds(*seconds);
        }
    }
    if (const char* v = Variable("GATHRIX_JOBS")) {
        if (const std::optional<int> jobs = ParseJobs(v)) {
            settings.jobs = *jobs;
        } else {
            settings.rejected_jobs = v;
        }
    }
    // For the window started from a script: the same as gathrix-cli's
    // --skip-existing.
    if (const char* v = Variable("GATHRIX_SKIP_EXISTING")) settings.skip_existing = std::string_view(v) == "1";
    if (const char* v = Variable("GATHRIX_UPDATE")) settings.update = std::string_view(v) == "1";
    if (const char* v = Variable("GATHRIX_FLICKR_API_KEY")) settings.flickr_api_key = v;
    if (const char* v = Variable("GATHRIX_FLICKR_API_URL")) settings.flickr_api_url = v;
    if (const char* v = Variable("GATHRIX_WRITE_METADATA")) settings.write_metadata = std::string_view(v) == "1";
    return settings;
}

}  // namespace gathrix
