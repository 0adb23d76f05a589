#pragma once
// The demo's Flickr photo set: two set pages, the pictures behind their
// thumbnails, and each photo's original-size page and own page. Two pictures
// come down too small from the address their thumbnail gives: one is found
// again on its original-size page, the other only on its photo page.

#include <string>

namespace httplib {
class Server;
}

namespace gathrix::demo {

struct FlickrDemo {
    std::string album_address;  // the set's first page
    std::string base_url;       // the Flickr base URL that leads to this server
};

// Registers the set's routes on server, which is reachable at base
// ("http://127.0.0.1:PORT"). Call it before registering any catch-all route.
FlickrDemo ServeFlickrSet(httplib::Server& server, const std::string& base);

}  // namespace gathrix::demo
