#include "flickr_demo.h"

#include <httplib.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "demo_album.h"

namespace gathrix::demo {

namespace {

constexpr const char* kRoot = "/flickr.com";  // everything of the set lives below it
constexpr const char* kSetId = "72157600000000001";
constexpr int kPictures = 14;
constexpr int kPerPage = 8;
// Pictures whose "_o." address answers with a picture too small: the first is
// named on its original-size page, the second only on its photo page.
constexpr int kFoundOnSizePage = 3;
constexpr int kFoundOnPhotoPage = 11;

std::string PhotoId(int i) { return std::to_string(3000000000 + i); }
std::string Secret(int i) { return std::to_string(1000 + i * 37) + "ab"; }

struct Photo {
    std::string id;
    std::string thumbnail;  // address of the "_s." thumbnail
    std::string original;   // address of the original at full size
};

std::string Paginator(int page, int pages) {
    std::string html = "<div class=\"Paginator\">";
    if (page > 1) {
        const std::string previous = std::to_string(page - 1);
        html += "<a href=\"?page=" + previous + "\" class=\"Prev\">&lt; Prev</a>";
    }
    for (int p = 1; p <= pages; ++p) {
        const std::string n = std::to_string(p);
        html += p == page ? "<span class=\"this-page\">" + n + "</span>" : "<a href=\"?page=" + n + "\">" + n + "</a>";
    }
    if (page < pages) html += "<a href=\"?page=" + std::to_string(page + 1) + "\" class=\"Next\">Next &gt;</a>";
    return html + "</div>";
}

std::string SetPage(const std::vector<Photo>& photos, int page, int pages) {
    std::string html =
        "<!DOCTYPE html>\r\n<html><head><meta charset=\"utf-8\">\r\n"
        "<title>Autumn Hills - a set on Flickr</title></head>\r\n<body>\r\n<h1>Autumn Hills</h1>\r\n" +
        Paginator(page, pages) + "\r\n<div class=\"setThumbs-indv\" id=\"setThumbs\">";
    const std::size_t first = static_cast<std::size_t>((page - 1) * kPerPage);
    for (std::size_t i = first; i < photos.size() && i < first + kPerPage; ++i) {
        const Photo& photo = photos[i];
        const std::string title = "Autumn hills " + std::to_string(i + 1);
        html += "<span class=\"photo_container pc_s\"><a href=\"/photos/demo/" + photo.id + "/in/set-" + kSetId +
                "/\" title=\"" + title + "\"><img src=\"" + photo.thumbnail + "\" width=\"75\" height=\"75\" alt=\"" +
                title + "\" class=\"pc_img\" /></a></span>";
    }
    return html + "</div>\r\n</body></html>\r\n";
}

std::string OriginalLink(const Photo& photo) {
    return "<div id=\"allsizes-photo\"><img src=\"" + photo.original + "\" alt=\"original\"></div>";
}

}  // namespace

FlickrDemo ServeFlickrSet(httplib::Server& server, const std::string& base) {
    const std::string root = base + kRoot;
    auto files = std::make_shared<std::map<std::string, std::string>>();  // path -> JPEG
    auto photos = std::make_shared<std::vector<Photo>>();

    for (int i = 1; i <= kPictures; ++i) {
        const std::string stem = PhotoId(i) + "_" + Secret(i);
        const std::string original = std::string(kRoot) + "/originals/" + PhotoId(i) + "_" + Secret(i + 50) + "_o.jpg";
        (*files)[std::string(kRoot) + "/farm/" + stem + "_s.jpg"] = LandscapeJpeg(100 + i, 75, 75);
        const std::string full = LandscapeJpeg(100 + i, 640, 480);
        const bool too_small = i == kFoundOnSizePage || i == kFoundOnPhotoPage;
        (*files)[std::string(kRoot) + "/farm/" + stem + "_o.jpg"] =
            too_small ? LandscapeJpeg(100 + i, 24, 18, 10) : full;
        (*files)[original] = full;
        photos->push_back({PhotoId(i), root + "/farm/" + stem + "_s.jpg", base + original});
    }
    const int pages = (kPictures + kPerPage - 1) / kPerPage;

    const std::string set_path = std::string(kRoot) + "/photos/demo/sets/" + kSetId + "/";
    // With or without its last "/", as an address typed by hand (an albums
    // address as well as a sets one) may end.
    server.Get(set_path + "?", [photos, pages](const httplib::Request& req, httplib::Response& res) {
        const int page = req.has_param("page") ? std::atoi(req.get_param_value("page").c_str()) : 1;
        if (page < 1 || page > pages) {
            res.status = 404;
            res.set_content("no such page", "text/plain");
            return;
        }
        res.set_content(SetPage(*photos, page, pages), "text/html; charset=utf-8");
    });

    // Original-size pages and photo pages, by photo id. One picture's
    // original-size page names no original.
    auto photo_of = [photos](const std::string& id) -> const Photo* {
        for (const Photo& photo : *photos) {
            if (photo.id == id) return &photo;
        }
        return nullptr;
    };
    server.Get(std::string(kRoot) + R"(/photos/demo/(\d+)/sizes/o/)",
               [photo_of](const httplib::Request& req, httplib::Response& res) {
                   const Photo* photo = photo_of(req.matches[1]);
                   if (!photo) {
                       res.status = 404;
                       return;
                   }
                   const std::string body = photo->id == PhotoId(kFoundOnPhotoPage)
                                                ? "<p>The original size is not available for this photo.</p>"
                                                : OriginalLink(*photo);
                   res.set_content("<!DOCTYPE html>\r\n<html><body>\r\n" + body + "\r\n</body></html>\r\n",
                                   "text/html; charset=utf-8");
               });
    server.Get(std::string(kRoot) + R"(/photos/demo/(\d+)/)",
               [photo_of](const httplib::Request& req, httplib::Response& res) {
                   const Photo* photo = photo_of(req.matches[1]);
                   if (!photo) {
                       res.status = 404;
                       return;
                   }
                   res.set_content("<!DOCTYPE html>\r\n<html><body>\r\n<h1>Autumn hills</h1>\r\n" +
                                       OriginalLink(*photo) + "\r\n</body></html>\r\n",
                                   "text/html; charset=utf-8");
               });
    server.Get(std::string(kRoot) + "/(farm|originals)/.*",
               [files](const httplib::Request& req, httplib::Response& res) {
                   const auto it = files->find(req.path);
                   if (it == files->end()) {
                       res.status = 404;
                       res.set_content("not found", "text/plain");
                       return;
                   }
                   res.set_content(it->second, "image/jpeg");
               });

    return {base + set_path, root};
}

}  // namespace gathrix::demo
