#pragma once
// The demo's Flickr REST API: an endpoint that answers the methods gathrix-cli
// calls with a key of its own, for the account "demo" (NSID 10000001@N01)
// holding two albums (one of them with a picture whose owner allows no
// original, and a video) and a photostream; the pictures themselves on the same
// server.

#include <string>

namespace httplib {
class Server;
}

namespace gathrix::demo {

struct FlickrApiDemo {
    std::string endpoint;  // for GATHRIX_FLICKR_API_URL
    std::string key;       // the only key it accepts
    std::string album_address;
    std::string albums_address;
    std::string photostream_address;
};

// Registers the endpoint and the pictures on server, reachable at base
// ("http://127.0.0.1:PORT"). Call it before registering any catch-all route.
FlickrApiDemo ServeFlickrApi(httplib::Server& server, const std::string& base);

}  // namespace gathrix::demo
