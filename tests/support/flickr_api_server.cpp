#include "support/flickr_api_server.h"

#include <httplib.h>

#include <algorithm>
#include <csignal>
#include <mutex>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <thread>
#include <utility>

namespace gathrix::test {

namespace {

using nlohmann::json;

json PhotoJson(const ApiPhoto& photo) {
    json object = json::object();
    for (const auto& [name, value] : photo) {
        if (value.starts_with("#")) {
            object[name] = std::stoll(value.substr(1));
        } else if (name == "description") {
            object[name] = {{"_content", value}};
        } else {
            object[name] = value;
        }
    }
    return object;
}

json Fail(int code, const std::string& message) { return {{"stat", "fail"}, {"code", code}, {"message", message}}; }

// The slice of items that page `page` of `per_page` holds, and the number of pages.
template <typename T>
std::vector<T> Slice(const std::vector<T>& items, long long page, long long per_page, long long& pages) {
    per_page = std::clamp<long long>(per_page, 1, 500);
    pages = std::max<long long>(1, (static_cast<long long>(items.size()) + per_page - 1) / per_page);
    std::vector<T> slice;
    for (long long i = (page - 1) * per_page; i >= 0 && i < page * per_page && i < static_cast<long long>(items.size());
         ++i) {
        slice.push_back(items[static_cast<std::size_t>(i)]);
    }
    return slice;
}

}  // namespace

struct FlickrApiServer::Impl {
    httplib::Server server;
    std::thread thread;
    int port = 0;
    std::string key;

    mutable std::mutex mutex;
    std::vector<ApiAlbum> albums;
    std::map<std::string, std::pair<std::string, std::string>> aliases;  // alias -> NSID, name
    std::map<std::string, std::vector<ApiPhoto>> streams;
    std::map<std::string, std::vector<VideoSize>> videos;
    std::map<std::string, std::vector<std::pair<int, std::string>>> failures;  // method -> pending
    int limited = 0;
    int retry_after = 0;
    std::map<std::string, std::string> raw;
    long long repeat_pages = 0;
    bool wrap = false;
    int page_size = 0;
    std::vector<std::string> calls;
    std::vector<std::string> methods;

    // A photo list's page: object name, the photos, and the members of the list itself.
    json PhotoList(const std::vector<ApiPhoto>& photos, long long page, long long per_page, json list) {
        long long pages = 0;
        std::vector<ApiPhoto> slice = Slice(photos, page, per_page, pages);
        if (repeat_pages > 0) {
            slice = Slice(photos, 1, per_page, pages);
            pages = repeat_pages;
        }
        list["page"] = page;                                    // a number
        list["pages"] = std::to_string(pages);                  // a string
        list["perpage"] = per_page;                             // a number
        list["per_page"] = std::to_string(per_page);            // a string
        list["total"] = std::to_string(photos.size());          // a string
        list["photo"] = json::array();
        for (const ApiPhoto& photo : slice) list["photo"].push_back(PhotoJson(photo));
        return list;
    }

    json Answer(const httplib::Request& req, int& status) {
        const std::string method = req.get_param_value("method");
        const long long page = req.has_param("page") ? std::stoll(req.get_param_value("page")) : 1;
        long long per_page = req.has_param("per_page") ? std::stoll(req.get_param_value("per_page")) : 100;
        if (page_size > 0) per_page = page_size;
        if (req.get_param_value("api_key") != key) return Fail(100, "Invalid API Key (Key has expired)");
        if (req.get_param_value("format") != "json" || req.get_param_value("nojsoncallback") != "1") {
            return Fail(111, "Format \"rest\" not found");
        }
        if (auto pending = failures.find(method); pending != failures.end() && !pending->second.empty()) {
            const auto [code, message] = pending->second.front();
            pending->second.erase(pending->second.begin());
            return Fail(code, message);
        }
        status = 200;
        if (method == "flickr.urls.lookupUser") {
            const std::string url = req.get_param_value("url");
            for (const auto& [alias, user] : aliases) {
                if (url == "https://www.flickr.com/photos/" + alias + "/") {
                    return {{"user", {{"id", user.first}, {"username", {{"_content", user.second}}}}}, {"stat", "ok"}};
                }
            }
            return Fail(1, "User not found");
        }
        if (method == "flickr.photosets.getPhotos") {
            for (const ApiAlbum& album : albums) {
                if (album.id != req.get_param_value("photoset_id")) continue;
                if (album.owner != req.get_param_value("user_id")) break;
                json list = {{"id", album.id},       {"owner", album.owner}, {"ownername", "Owner of " + album.owner},
                             {"title", album.title}, {"primary", "1"}};
                return {{"photoset", PhotoList(album.photos, page, per_page, list)}, {"stat", "ok"}};
            }
            return Fail(1, "Photoset not found");
        }
        if (method == "flickr.people.getPublicPhotos") {
            const auto stream = streams.find(req.get_param_value("user_id"));
            if (stream == streams.end()) return Fail(2, "Unknown user");
            return {{"photos", PhotoList(stream->second, page, per_page, json::object())}, {"stat", "ok"}};
        }
        if (method == "flickr.photosets.getList") {
            std::vector<json> sets;
            for (const ApiAlbum& album : albums) {
                if (album.owner != req.get_param_value("user_id")) continue;
                sets.push_back({{"id", album.id},
                                {"title", {{"_content", album.title}}},
                                {"description", {{"_content", album.description}}},
                                {"photos", album.photos.size()},
                                {"videos", "0"}});
            }
            long long pages = 0;
            json list = {{"page", std::to_string(page)}, {"total", sets.size()}, {"photoset", Slice(sets, page, per_page, pages)}};
            list["pages"] = pages;
            return {{"photosets", list}, {"stat", "ok"}};
        }
        if (method == "flickr.photos.getSizes") {
            const auto video = videos.find(req.get_param_value("photo_id"));
            if (video == videos.end()) return Fail(1, "Photo not found");
            json sizes = json::array();
            sizes.push_back({{"label", "Large"}, {"width", 1024}, {"height", "768"}, {"source", "https://live.example/x_b.jpg"}, {"media", "photo"}});
            for (const VideoSize& size : video->second) {
                sizes.push_back({{"label", size.label}, {"width", std::to_string(size.width)}, {"height", size.height},
                                 {"source", size.source}, {"media", "video"}});
            }
            return {{"sizes", {{"canblog", 0}, {"size", sizes}}}, {"stat", "ok"}};
        }
        return Fail(112, "Method \"" + method + "\" not found");
    }

    void Handle(const httplib::Request& req, httplib::Response& res) {
        std::lock_guard lock(mutex);
        const std::string method = req.get_param_value("method");
        calls.push_back(req.target.substr(std::min(req.target.find('?') + 1, req.target.size())));
        methods.push_back(method);
        if (limited > 0) {
            --limited;
            res.status = 429;
            res.set_header("Retry-After", std::to_string(retry_after));
            res.set_content("<html><body>Too Many Requests</body></html>", "text/html");
            return;
        }
        if (const auto body = raw.find(method); body != raw.end()) {
            res.status = 200;
            res.set_content(body->second, "text/html");
            return;
        }
        int status = 200;
        const std::string text = Answer(req, status).dump();
        res.status = status;
        res.set_content(wrap ? "jsonFlickrApi(" + text + ")" : text, "application/json");
    }
};

FlickrApiServer::FlickrApiServer(std::string key) : impl_(std::make_unique<Impl>()) {
    std::signal(SIGPIPE, SIG_IGN);
    Impl& impl = *impl_;
    impl.key = std::move(key);
    impl.server.Get("/services/rest/",
                    [&impl](const httplib::Request& req, httplib::Response& res) { impl.Handle(req, res); });
    impl.port = impl.server.bind_to_any_port("127.0.0.1");
    if (impl.port <= 0) throw std::runtime_error("FlickrApiServer: cannot bind to 127.0.0.1");
    impl.thread = std::thread([&impl] { impl.server.listen_after_bind(); });
    while (!impl.server.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

FlickrApiServer::~FlickrApiServer() {
    impl_->server.stop();
    if (impl_->thread.joinable()) impl_->thread.join();
}

std::string FlickrApiServer::Endpoint() const {
    return "http://127.0.0.1:" + std::to_string(impl_->port) + "/services/rest/";
}

void FlickrApiServer::AddAlbum(ApiAlbum album) {
    std::lock_guard lock(impl_->mutex);
    impl_->albums.push_back(std::move(album));
}

void FlickrApiServer::AddAlias(const std::string& alias, const std::string& nsid, const std::string& name) {
    std::lock_guard lock(impl_->mutex);
    impl_->aliases[alias] = {nsid, name.empty() ? alias : name};
}

void FlickrApiServer::SetPhotostream(const std::string& nsid, std::vector<ApiPhoto> photos) {
    std::lock_guard lock(impl_->mutex);
    impl_->streams[nsid] = std::move(photos);
}

void FlickrApiServer::SetVideoSizes(const std::string& photo_id, std::vector<VideoSize> sizes) {
    std::lock_guard lock(impl_->mutex);
    impl_->videos[photo_id] = std::move(sizes);
}

void FlickrApiServer::FailNext(const std::string& method, int code, const std::string& message, int times) {
    std::lock_guard lock(impl_->mutex);
    for (int i = 0; i < times; ++i) impl_->failures[method].emplace_back(code, message);
}

void FlickrApiServer::RateLimitNext(int times, int retry_after_seconds) {
    std::lock_guard lock(impl_->mutex);
    impl_->limited = times;
    impl_->retry_after = retry_after_seconds;
}

void FlickrApiServer::AnswerRaw(const std::string& method, const std::string& body) {
    std::lock_guard lock(impl_->mutex);
    impl_->raw[method] = body;
}

void FlickrApiServer::RepeatFirstPage(long long pages) {
    std::lock_guard lock(impl_->mutex);
    impl_->repeat_pages = pages;
}

void FlickrApiServer::SetPageSize(int size) {
    std::lock_guard lock(impl_->mutex);
    impl_->page_size = size;
}

void FlickrApiServer::WrapInCall(bool wrap) {
    std::lock_guard lock(impl_->mutex);
    impl_->wrap = wrap;
}

std::vector<std::string> FlickrApiServer::Calls() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->calls;
}

std::vector<std::string> FlickrApiServer::Methods() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->methods;
}

ApiPhoto ApiPicture(const std::string& id, const std::string& url_o, const std::string& title) {
    ApiPhoto photo = {{"id", id},
                      {"secret", "abcdef" + id},
                      {"server", "65535"},
                      {"farm", "#66"},
                      {"title", title},
                      {"isprimary", "0"},
                      {"media", "photo"},
                      {"datetaken", "2019-07-14 10:23:45"},
                      {"dateupload", "1563100800"},
                      {"description", "About " + title},
                      {"tags", "sea summer"},
                      {"license", "#4"},
                      {"ownername", "Owner"}};
    if (!url_o.empty()) {
        photo["url_o"] = url_o;
        photo["width_o"] = "4000";
        photo["height_o"] = "#3000";
    }
    return photo;
}

}  // namespace gathrix::test
