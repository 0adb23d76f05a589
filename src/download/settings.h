#pragma once
// The constants of the live services, and the environment variables with which
// tests and the demo point the engine at a local server instead.

#include <chrono>
#include <string>

namespace gathrix {

// Site markers: host substrings, compared without regard to case. Fixed.
inline constexpr const char* kPicasaSiteMarker = "picasaweb.google.com";
inline constexpr const char* kFlickrSiteMarker = "flickr.com";
inline constexpr const char* kWebshotsSiteMarker = "webshots.com/";

struct Settings {
    std::string flickr_base_url = "http://www.flickr.com";                       // GATHRIX_FLICKR_BASE_URL
    std::string webshots_thumbnail_prefix = "http://thumb";                     // GATHRIX_WEBSHOTS_THUMBNAIL_PREFIX
    std::string webshots_fullsize_base = "http://community.webshots.com";       // GATHRIX_WEBSHOTS_FULLSIZE_BASE
    std::chrono::seconds request_timeout{60};                                   // GATHRIX_REQUEST_TIMEOUT

    // The defaults, with every variable that is set (and valid) applied.
    static Settings FromEnvironment();
};

}  // namespace gathrix
