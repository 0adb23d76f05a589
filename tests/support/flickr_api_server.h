#pragma once
// A fake of Flickr's REST API for the tests, the benchmarks and the fuzz
// harnesses: one endpoint ("/services/rest/") on 127.0.0.1 answering the
// methods the API reader calls in the documented shapes, numbers given as
// JSON numbers and as strings in the same answer, titles as plain strings in
// photo lists and as {"_content"} objects elsewhere. It pages with the
// caller's per_page, refuses a wrong key (code 100), and misbehaves on request:
// a "stat": "fail" answer, HTTP 429 with Retry-After, an answer that is no
// JSON, every page the same.

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace gathrix::test {

// One photo of a list: the members of its JSON object, each a string, or a
// number when it is written as digits after "#" ("#3701" is 3701).
using ApiPhoto = std::map<std::string, std::string>;

struct ApiAlbum {
    std::string id;
    std::string owner;  // NSID
    std::string title;
    std::string description;
    std::vector<ApiPhoto> photos;
};

class FlickrApiServer {
public:
    explicit FlickrApiServer(std::string key = "test-key");
    ~FlickrApiServer();
    FlickrApiServer(const FlickrApiServer&) = delete;
    FlickrApiServer& operator=(const FlickrApiServer&) = delete;

    // The endpoint, for GATHRIX_FLICKR_API_URL / Settings::flickr_api_url.
    std::string Endpoint() const;

    void AddAlbum(ApiAlbum album);  // also listed, in order, by getList of its owner
    void AddAlias(const std::string& alias, const std::string& nsid, const std::string& name = "");
    // The public photos of nsid (getPublicPhotos).
    void SetPhotostream(const std::string& nsid, std::vector<ApiPhoto> photos);
    // getSizes of a video: (label, source, width, height) with "media": "video".
    struct VideoSize {
        std::string label;
        std::string source;
        int width = 0;
        int height = 0;
    };
    void SetVideoSizes(const std::string& photo_id, std::vector<VideoSize> sizes);

    // The next `times` calls of method answer {"stat": "fail", code, message}.
    void FailNext(const std::string& method, int code, const std::string& message, int times = 1);
    // The next `times` calls of any method answer 429 with Retry-After: seconds.
    void RateLimitNext(int times, int retry_after_seconds);
    // Every call of method answers this text (no JSON).
    void AnswerRaw(const std::string& method, const std::string& body);
    // Every page of a photo list lists the first page's photos, and states `pages`.
    void RepeatFirstPage(long long pages);
    // Pages of this many photos or albums, whatever per_page asks (0: per_page's).
    void SetPageSize(int size);
    // Wrap answers in the JSONP call "jsonFlickrApi(...)".
    void WrapInCall(bool wrap);

    // Every call so far: its query as received (api_key included).
    std::vector<std::string> Calls() const;
    // The methods called, in order.
    std::vector<std::string> Methods() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// A photo of a list with its original at url_o and the usual members, numbers
// mixed with strings: id, secret, server, farm, title, media "photo",
// url_o, width_o, height_o, datetaken, dateupload, description, tags, license,
// ownername.
ApiPhoto ApiPicture(const std::string& id, const std::string& url_o, const std::string& title = "");

}  // namespace gathrix::test
