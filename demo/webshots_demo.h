#pragma once
// The Webshots demo album: a photo page that leads to a two-page album whose
// thumbnails are "url(...)" styles. Every picture is at its thumbnail's address
// with "_th." turned into "_fs.", except one, which answers there with a tiny
// stand-in and is found again through the photo's full-size page.

#include <string>

namespace httplib {
class Server;
}

namespace gathrix::demo {

struct WebshotsDemo {
    std::string photo_address;     // the address to download
    std::string thumbnail_prefix;  // GATHRIX_WEBSHOTS_THUMBNAIL_PREFIX
    std::string fullsize_base;     // GATHRIX_WEBSHOTS_FULLSIZE_BASE
};

// Adds the album's pages and pictures to server, which answers at base
// ("http://127.0.0.1:PORT"). Call before a catch-all route is added.
WebshotsDemo AddWebshotsDemo(httplib::Server& server, const std::string& base);

}  // namespace gathrix::demo
