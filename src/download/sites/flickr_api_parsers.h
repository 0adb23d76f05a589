#pragma once
// Flickr's REST API: what an address asks for, the addresses of the API's
// calls, and what its answers (JSON) tell. Pure functions over text, with no
// fetching and no files; the driver (flickr_api_reader.cpp) fetches.
//
// The answers are read tolerantly: a number may come as a JSON number or as a
// string, even within one answer, and a title or description as a plain string
// or as an object {"_content": "..."}. An answer wrapped in the JSONP call
// "jsonFlickrApi(...)" is taken as well.

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "download/album_metadata.h"
#include "download/flickr_api.h"

namespace gathrix {

// The API's methods.
inline constexpr std::string_view kGetPhotos = "flickr.photosets.getPhotos";
inline constexpr std::string_view kGetList = "flickr.photosets.getList";
inline constexpr std::string_view kGetPublicPhotos = "flickr.people.getPublicPhotos";
inline constexpr std::string_view kLookupUser = "flickr.urls.lookupUser";
inline constexpr std::string_view kGetSizes = "flickr.photos.getSizes";

// The extras asked for with every photo: each size's address and dimensions,
// and what album.json keeps.
inline constexpr std::string_view kPhotoExtras =
    "url_o,url_6k,url_5k,url_4k,url_3k,url_k,url_h,url_l,url_c,url_z,media,original_format,date_taken,"
    "date_upload,description,tags,license,owner_name";

// The most photos or albums one call lists.
inline constexpr int kApiPerPage = 500;

// The address of one call: endpoint + "?method=METHOD&api_key=KEY&format=json&
// nojsoncallback=1" and each parameter as "&NAME=VALUE", percent-encoded but
// for letters, digits and "-._~," (the extras list keeps its commas).
std::string FlickrApiCallAddress(std::string_view endpoint, std::string_view method, std::string_view key,
                                 const std::vector<std::pair<std::string, std::string>>& parameters);

// address with the value of every "api_key=" parameter made "HIDDEN".
std::string HideApiKey(std::string_view address);

// Whether user is an NSID ("12345678@N01"): digits, "@N", digits.
bool IsNsid(std::string_view user);

// The photo page of a photo: "https://www.flickr.com/photos/OWNER/ID/".
std::string FlickrPhotoPageAddress(std::string_view owner, std::string_view id);

// How an answer came back.
struct FlickrApiStatus {
    enum class Kind { NotAnAnswer, Failed, Ok };
    Kind kind = Kind::NotAnAnswer;  // NotAnAnswer: no JSON, no "stat", or no expected object
    long long code = 0;             // Failed: Flickr's code and words
    std::string message;
};

// One photo of a photo list, as album.json keeps it, and the file it gives:
// url_o when present, else the largest of the url_* sizes (by width x
// height); empty when it offers none. A video's file comes from getSizes.
struct FlickrApiPhoto {
    std::string id;
    std::string owner;  // the photo's own "owner" (photostreams); else empty
    std::string file;
    bool video = false;
    PictureDetails details;  // id, title, description, taken, uploaded, tags, license, media
};

// A page of getPhotos (object "photoset") or getPublicPhotos ("photos").
struct FlickrPhotoPage {
    FlickrApiStatus status;
    long long page = 0;
    long long pages = 0;  // 0 when not told
    std::string set_id;
    std::string owner;
    std::string owner_name;
    std::string title;
    std::string description;
    std::vector<FlickrApiPhoto> photos;
};
FlickrPhotoPage ParseFlickrPhotoPage(std::string_view answer, std::string_view object);

// A page of getList.
struct FlickrAlbumListPage {
    FlickrApiStatus status;
    long long pages = 0;
    std::vector<FlickrApiAlbum> albums;  // id and title; address left empty
};
FlickrAlbumListPage ParseFlickrAlbumListPage(std::string_view answer);

// lookupUser: the NSID of the user a profile address names.
struct FlickrUserLookup {
    FlickrApiStatus status;
    std::string nsid;
};
FlickrUserLookup ParseFlickrUserLookup(std::string_view answer);

// getSizes of a video: the address of its video file with the largest width x
// height (entries with "media": "video"); empty for none.
struct FlickrVideoFile {
    FlickrApiStatus status;
    std::string file;
};
FlickrVideoFile ParseFlickrVideoSizes(std::string_view answer);

// A Unix time ("1563100800", as a string or a number) as ISO 8601 UTC
// ("2019-07-14T10:40:00Z"); empty when it is none.
std::string IsoFromUnixTime(std::string_view seconds);
// Flickr's "YYYY-MM-DD HH:MM:SS" as "YYYY-MM-DDTHH:MM:SS"; anything else as it is.
std::string IsoFromTaken(std::string_view taken);

}  // namespace gathrix
