#include "download/settings.h"

#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "text/utf8.h"

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

std::optional<int> ParseJobs(std::string_view text) { return ParseNumber(text, 1, kMaxJobs); }

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
            std::fprintf(stderr,
                         "gathrix: GATHRIX_JOBS=%s is not a number from 1 to %d; fetching one picture at a time\n",
                         EscapeForTerminal(v).c_str(), kMaxJobs);
        }
    }
    // For the window started from a script: the same as gathrix-cli's
    // --skip-existing.
    if (const char* v = Variable("GATHRIX_SKIP_EXISTING")) settings.skip_existing = std::string_view(v) == "1";
    return settings;
}

}  // namespace gathrix
