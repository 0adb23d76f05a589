#include "flickr_api_demo.h"

#include <httplib.h>

#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "demo_album.h"

namespace gathrix::demo {

namespace {

using nlohmann::json;

constexpr const char* kKey = "demo-key-0123456789abcdef";
constexpr const char* kNsid = "10000001@N01";
constexpr const char* kAlias = "demo";
constexpr int kPerPageAtMost = 500;

struct DemoPhoto {
    std::string id;
    std::string title;
    bool original = true;  // the owner allows the original
    bool video = false;
};

struct DemoAlbum {
    std::string id;
    std::string title;
    std::string description;
    std::vector<DemoPhoto> photos;
};

const std::vector<DemoAlbum>& Albums() {
    static const std::vector<DemoAlbum> albums = {
        {"72157600000000101", "Harbour at dawn", "Boats and gulls before the fish market opens",
         {{"53100000001", "Boats"}, {"53100000002", "Gulls"}, {"53100000003", "The market hall"}}},
        {"72157600000000102", "Mountain walk", "Two days above the tree line",
         {{"53100000004", "The ridge"}, {"53100000005", "A borrowed photo", false}, {"53100000006", "Wind", true, true}}},
    };
    return albums;
}

std::vector<DemoPhoto> Photostream() {
    std::vector<DemoPhoto> photos;
    for (const DemoAlbum& album : Albums()) photos.insert(photos.end(), album.photos.begin(), album.photos.end());
    photos.push_back({"53100000007", "Not in any album"});
    return photos;
}

json Fail(int code, const std::string& message) { return {{"stat", "fail"}, {"code", code}, {"message", message}}; }

// A photo as the API lists it with the extras asked: numbers as numbers and
// as strings, as Flickr mixes them.
json PhotoJson(const DemoPhoto& photo, const std::string& base) {
    const int index = static_cast<int>(std::stol(photo.id.substr(photo.id.size() - 2)));
    json object = {{"id", photo.id},
                   {"secret", "a1b2c3d4e5"},
                   {"server", "65535"},
                   {"farm", 66},
                   {"title", photo.title},
                   {"isprimary", "0"},
                   {"media", photo.video ? "video" : "photo"},
                   {"datetaken", "2024-06-0" + std::to_string(index % 9 + 1) + " 07:1" + std::to_string(index % 10) + ":00"},
                   {"dateupload", std::to_string(1717400000 + index * 3600)},
                   {"description", {{"_content", "Demo picture " + std::to_string(index)}}},
                   {"tags", "demo gathrix"},
                   {"license", 4},
                   {"ownername", "Gathrix Demo"}};
    const std::string stem = base + "/api-photos/" + photo.id + "_a1b2c3d4e5";
    if (photo.original) {
        object["url_o"] = stem + "_o.jpg";
        object["width_o"] = "640";
        object["height_o"] = 480;
    }
    object["url_l"] = stem + "_b.jpg";
    object["width_l"] = 320;
    object["height_l"] = "240";
    object["url_z"] = stem + "_z.jpg";
    object["width_z"] = "160";
    object["height_z"] = "120";
    return object;
}

// page (from 1) of items, per_page at a time.
json Page(const std::vector<json>& items, long page, long per_page, json list, const char* member) {
    per_page = std::max(1L, std::min<long>(per_page, kPerPageAtMost));
    const long pages = std::max(1L, (static_cast<long>(items.size()) + per_page - 1) / per_page);
    list["page"] = page;
    list["pages"] = std::to_string(pages);
    list["perpage"] = per_page;
    list["total"] = std::to_string(items.size());
    list[member] = json::array();
    for (long i = (page - 1) * per_page; i >= 0 && i < page * per_page && i < static_cast<long>(items.size()); ++i) {
        list[member].push_back(items[static_cast<std::size_t>(i)]);
    }
    return list;
}

json Answer(const httplib::Request& req, const std::string& base) {
    if (req.get_param_value("api_key") != kKey) return Fail(100, "Invalid API Key (Key has expired)");
    const std::string method = req.get_param_value("method");
    const long page = req.has_param("page") ? std::atol(req.get_param_value("page").c_str()) : 1;
    const long per_page = req.has_param("per_page") ? std::atol(req.get_param_value("per_page").c_str()) : 100;
    const bool ours = req.get_param_value("user_id") == kNsid;
    if (method == "flickr.urls.lookupUser") {
        if (req.get_param_value("url") != std::string("https://www.flickr.com/photos/") + kAlias + "/") {
            return Fail(1, "User not found");
        }
        return {{"user", {{"id", kNsid}, {"username", {{"_content", kAlias}}}}}, {"stat", "ok"}};
    }
    if (method == "flickr.photosets.getList") {
        if (!ours) return Fail(1, "User not found");
        std::vector<json> sets;
        for (const DemoAlbum& album : Albums()) {
            sets.push_back({{"id", album.id},
                            {"title", {{"_content", album.title}}},
                            {"description", {{"_content", album.description}}},
                            {"photos", album.photos.size()},
                            {"videos", "0"}});
        }
        return {{"photosets", Page(sets, page, per_page, json::object(), "photoset")}, {"stat", "ok"}};
    }
    if (method == "flickr.photosets.getPhotos") {
        for (const DemoAlbum& album : Albums()) {
            if (album.id != req.get_param_value("photoset_id") || !ours) continue;
            std::vector<json> photos;
            for (const DemoPhoto& photo : album.photos) photos.push_back(PhotoJson(photo, base));
            json list = {{"id", album.id}, {"owner", kNsid}, {"ownername", "Gathrix Demo"}, {"title", album.title}};
            return {{"photoset", Page(photos, page, per_page, list, "photo")}, {"stat", "ok"}};
        }
        return Fail(1, "Photoset not found");
    }
    if (method == "flickr.people.getPublicPhotos") {
        if (!ours) return Fail(2, "Unknown user");
        std::vector<json> photos;
        for (const DemoPhoto& photo : Photostream()) photos.push_back(PhotoJson(photo, base));
        return {{"photos", Page(photos, page, per_page, json::object(), "photo")}, {"stat", "ok"}};
    }
    if (method == "flickr.photos.getSizes") {
        const std::string id = req.get_param_value("photo_id");
        const std::string play = base + "/api-video/" + id + "/play/";
        return {{"sizes",
                 {{"size",
                   {{{"label", "Large"}, {"width", 320}, {"height", 240}, {"source", base + "/api-photos/x.jpg"},
                     {"media", "photo"}},
                    {{"label", "Site MP4"}, {"width", "640"}, {"height", 360}, {"source", play + "site/a1b2c3d4e5/"},
                     {"media", "video"}},
                    {{"label", "Video Original"}, {"width", 1280}, {"height", "720"},
                     {"source", play + "orig/a1b2c3d4e5/"}, {"media", "video"}}}}}},
                {"stat", "ok"}};
    }
    return Fail(112, "Method \"" + method + "\" not found");
}

}  // namespace

FlickrApiDemo ServeFlickrApi(httplib::Server& server, const std::string& base) {
    server.Get("/services/rest/", [base](const httplib::Request& req, httplib::Response& res) {
        res.set_content(Answer(req, base).dump(), "application/json");
    });
    // The pictures at every size the answers name, drawn once.
    auto pictures = std::make_shared<std::map<std::string, std::string>>();
    for (const DemoPhoto& photo : Photostream()) {
        const int index = static_cast<int>(std::stol(photo.id.substr(photo.id.size() - 2)));
        const std::string stem = "/api-photos/" + photo.id + "_a1b2c3d4e5";
        (*pictures)[stem + "_o.jpg"] = LandscapeJpeg(100 + index, 640, 480);
        (*pictures)[stem + "_b.jpg"] = LandscapeJpeg(100 + index, 320, 240);
        (*pictures)[stem + "_z.jpg"] = LandscapeJpeg(100 + index, 160, 120);
    }
    server.Get(R"(/api-photos/[^/]+)", [pictures](const httplib::Request& req, httplib::Response& res) {
        const auto it = pictures->find(req.path);
        if (it == pictures->end()) {
            res.status = 404;
            return;
        }
        res.set_content(it->second, "image/jpeg");
    });
    // A video's files: bytes standing in for MP4 files, one per quality.
    server.Get(R"(/api-video/(\d+)/play/(\w+)/a1b2c3d4e5/)", [](const httplib::Request& req, httplib::Response& res) {
        res.set_content("demo video " + std::string(req.matches[1]) + " (" + std::string(req.matches[2]) + ")\n",
                        "video/mp4");
    });
    const std::string photos = std::string("https://www.flickr.com/photos/") + kAlias;
    return {base + "/services/rest/", kKey, photos + "/albums/" + Albums().front().id, photos + "/albums",
            photos + "/"};
}

}  // namespace gathrix::demo
