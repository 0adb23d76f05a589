#pragma once
// The constants of the live services, and the environment variables with which
// tests and the demo point the engine at a local server instead.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace gathrix {

class CookieStore;
struct FlickrApiMemory;

// Site markers: host substrings, compared without regard to case. Fixed.
inline constexpr const char* kPicasaSiteMarker = "picasaweb.google.com";
inline constexpr const char* kFlickrSiteMarker = "flickr.com";
inline constexpr const char* kWebshotsSiteMarker = "webshots.com/";

inline constexpr int kMaxJobs = 16;

// A whole number from low to high written in digits only (no sign, no
// blanks); nullopt otherwise.
std::optional<int> ParseNumber(std::string_view text, int low, int high);

// A number of seconds from low to high: digits, perhaps with a fraction
// ("1.5"), counted to the millisecond; nullopt otherwise.
std::optional<std::chrono::milliseconds> ParseSeconds(std::string_view text, int low, int high);

// A number of transfers from 1 to kMaxJobs, digits only; nullopt otherwise.
std::optional<int> ParseJobs(std::string_view text);

// A rate in bytes a second: digits, perhaps with a fraction ("1.5"), and
// perhaps one of the suffixes k, m, g (either case) for 1024, 1024^2 and
// 1024^3. From 1 byte a second to 1024 GiB a second, or 0 for no limit at
// all; nullopt otherwise.
std::optional<std::int64_t> ParseRate(std::string_view text);

struct Settings {
    std::string flickr_base_url = "http://www.flickr.com";                 // GATHRIX_FLICKR_BASE_URL
    std::string webshots_thumbnail_prefix = "http://thumb";                // GATHRIX_WEBSHOTS_THUMBNAIL_PREFIX
    std::string webshots_fullsize_base = "http://community.webshots.com";  // GATHRIX_WEBSHOTS_FULLSIZE_BASE
    std::chrono::milliseconds request_timeout{60000};                      // GATHRIX_REQUEST_TIMEOUT
    // A cap on the whole time of one request (0: none), the bytes a second of
    // all transfers together (0: no limit), and the pause between one picture
    // request and the next (0: none). Set by gathrix-cli's options only.
    std::chrono::seconds max_time{0};
    std::int64_t rate_limit = 0;
    std::chrono::milliseconds picture_wait{0};
    // Picture transfers at once, 1 to kMaxJobs; 1 fetches strictly one after another.
    int jobs = 1;  // GATHRIX_JOBS
    // Failed requests sent again (connection errors, time-outs, 408, 429, 5xx),
    // after retry_unit, 2 retry_unit, ... ; 0 never. Tests that run the engine
    // in their own process may shorten retry_unit; no variable sets it.
    int retries = 0;
    std::chrono::milliseconds retry_unit{1000};
    // Runs again over an album: a picture whose file is already in the folder
    // (and passes the service's size check) is kept, not fetched again.
    bool skip_existing = false;  // GATHRIX_SKIP_EXISTING=1
    // A picture cut off half-way keeps what came, hidden beside the pictures,
    // and a later run with resume asks only for the rest. Implies
    // skip_existing.
    bool resume = false;
    // Runs again over an album with a record of what the folder holds: each
    // picture on record is asked for again only if it changed on the server
    // since (its ETag or date), and replaced when it did. Implies
    // skip_existing.
    bool update = false;  // GATHRIX_UPDATE=1
    bool KeepsExisting() const { return skip_existing || resume || update; }
    // With a record: a picture counts as changed on this machine also when
    // its bytes no longer have the recorded SHA-256 (not only its size).
    bool verify = false;
    // With a record: pictures changed on this machine are fetched again and
    // replaced instead of kept.
    bool overwrite = false;
    // How long a run waits for another run into the same folder to let go
    // of its record before it gives up.
    std::chrono::milliseconds record_wait{3000};
    // Stored pictures get the time of the server's Last-Modified header; a
    // picture without one keeps the time it was stored at.
    bool remote_time = false;
    // The cookies every request of the run sends and keeps (owned by the
    // caller, shared by the runs of several albums); none when nullptr.
    CookieStore* cookies = nullptr;
    // The certificate authorities an https server must be signed by (a PEM
    // file); empty: the system's. Set by gathrix-cli's --cacert only.
    std::string ca_file;

    // Flickr addresses are read through Flickr's REST API with this key
    // (GATHRIX_FLICKR_API_KEY, gathrix-cli's --flickr-api-key); empty: by the
    // set reader. The API's whole endpoint address (GATHRIX_FLICKR_API_URL),
    // and what a run of several albums remembers between them (owned by the
    // caller; nullptr: each album's run on its own).
    std::string flickr_api_key;
    std::string flickr_api_url = "https://api.flickr.com/services/rest/";
    FlickrApiMemory* flickr_api = nullptr;
    // album.json beside each album's pictures (GATHRIX_WRITE_METADATA=1,
    // gathrix-cli's --write-metadata).
    bool write_metadata = false;

    // The value of GATHRIX_JOBS when it is set to something that is not a
    // number from 1 to kMaxJobs, raw: jobs kept its default, and each front
    // end tells its user so in its own words.
    std::optional<std::string> rejected_jobs;

    // The defaults, with every variable that is set (and valid) applied. An
    // invalid GATHRIX_JOBS is ignored and kept in rejected_jobs.
    static Settings FromEnvironment();
};

}  // namespace gathrix
