#include "webshots_demo.h"

#include <httplib.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>

#include "demo_album.h"

namespace gathrix::demo {

namespace {

constexpr int kPictures = 10;
constexpr int kPerPage = 6;
constexpr int kStandIn = 3;  // the picture whose "_fs." address gives a stand-in
constexpr const char* kAlbumPath = "/webshots.com/album/987654";
constexpr const char* kVhost = "?vhost=gathrix-demo";
constexpr const char* kThumbnailDir = "/thumb/gathrix-demo/987654/";

std::string Stem(int i) {
    char stem[16];
    std::snprintf(stem, sizeof stem, "IMG_%04d", i);
    return stem;
}
std::string PhotoId(int i) { return std::to_string(2001000000 + i); }

std::string Html(const std::string& title, const std::string& body) {
    return "<!DOCTYPE html>\r\n<html><head><title>" + title + " - Gathrix demo</title>\r\n" +
           "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">\r\n</head><body>\r\n" + body +
           "</body></html>\r\n";
}

// The album page that starts with picture number start (0-based): one
// thumbnail a line, and a link marked rel="next" while pictures follow.
std::string AlbumPage(const std::string& base, int start) {
    std::string body = "<h1>Autumn Walk</h1>\r\n<div id=\"photos\">\r\n";
    for (int i = start + 1; i <= start + kPerPage && i <= kPictures; ++i) {
        body += "<div class=\"photo\"><a href=\"" + base + "/webshots.com/photo/" + PhotoId(i) +
                "\" class=\"thumb\" style=\"background-image: url(" + base + kThumbnailDir + Stem(i) +
                "_th.jpg);\" title=\"" + Stem(i) + "\"></a><span class=\"caption\">" + Stem(i) + "</span></div>\r\n";
    }
    body += "</div>\r\n";
    if (start + kPerPage < kPictures) {
        body += "<div class=\"pager\"><a href=\"" + base + kAlbumPath + "?start=" + std::to_string(start + kPerPage) +
                "\" rel=\"next\">Next page</a></div>\r\n";
    }
    return Html("Autumn Walk", body);
}

std::string PhotoPage(const std::string& base, const std::string& id) {
    return Html("Photo " + id, "<div id=\"photo\"><img src=\"/i/spacer.gif\" alt=\"photo " + id +
                                   "\"></div>\r\n<a href=\"" + base + kAlbumPath + kVhost +
                                   "\" class=\"album-link\">Autumn Walk</a> (" + std::to_string(kPictures) +
                                   " photos)<br>\r\n");
}

// The viewer of a full-size page gets the picture as the second argument of
// the first so.addVariable call.
std::string FullSizePage(const std::string& base, int i) {
    return Html("Full size",
                "<div id=\"viewer\">Loading...</div>\r\n<script type=\"text/javascript\">\r\n"
                "var so = new SWFObject('/swf/viewer.swf', 'viewer', '100%', '100%', '8');\r\n"
                "so.addVariable('src', '" +
                    base + "/originals/" + Stem(i) +
                    ".jpg');\r\n"
                    "so.addVariable('caption', '" +
                    Stem(i) + "');\r\nso.write('viewer');\r\n</script>\r\n");
}

}  // namespace

WebshotsDemo AddWebshotsDemo(httplib::Server& server, const std::string& base) {
    auto files = std::make_shared<std::map<std::string, std::string>>();
    for (int i = 1; i <= kPictures; ++i) {
        const std::string dir = std::string(kThumbnailDir) + Stem(i);
        (*files)[dir + "_th.jpg"] = LandscapeJpeg(100 + i, 100, 75);
        // A 320 x 240 picture, or a stand-in of a few hundred bytes.
        (*files)[dir + "_fs.jpg"] = i == kStandIn ? LandscapeJpeg(100 + i, 8, 6, 5) : LandscapeJpeg(100 + i, 320, 240);
        (*files)["/originals/" + Stem(i) + ".jpg"] = LandscapeJpeg(100 + i, 320, 240);
    }
    if ((*files)[std::string(kThumbnailDir) + Stem(kStandIn) + "_fs.jpg"].size() >= 1024) {
        std::fputs("gathrix-demo-server: the Webshots stand-in picture came out too big\n", stderr);
        std::exit(2);
    }

    server.Get(kAlbumPath, [base](const httplib::Request& req, httplib::Response& res) {
        const long start = req.has_param("start") ? std::strtol(req.get_param_value("start").c_str(), nullptr, 10) : 0;
        res.set_content(AlbumPage(base, static_cast<int>(start < 0           ? 0
                                                         : start > kPictures ? kPictures
                                                                             : start)),
                        "text/html; charset=utf-8");
    });
    server.Get(R"(/webshots\.com/photo/(\d+))", [base](const httplib::Request& req, httplib::Response& res) {
        res.set_content(PhotoPage(base, req.matches[1]), "text/html; charset=utf-8");
    });
    server.Get(R"(/community/photo/fullsize/(\d+))", [base](const httplib::Request& req, httplib::Response& res) {
        const long i = std::strtol(std::string(req.matches[1]).c_str(), nullptr, 10) - 2001000000;
        if (i < 1 || i > kPictures) {
            res.status = 404;
            return;
        }
        res.set_content(FullSizePage(base, static_cast<int>(i)), "text/html; charset=utf-8");
    });
    server.Get(R"(/(thumb|originals)/.*)", [files](const httplib::Request& req, httplib::Response& res) {
        const auto it = files->find(req.path);
        if (it == files->end()) {
            res.status = 404;
            return;
        }
        res.set_content(it->second, "image/jpeg");
    });

    return {base + "/webshots.com/photo/" + PhotoId(1), base + "/thumb", base + "/community"};
}

}  // namespace gathrix::demo
