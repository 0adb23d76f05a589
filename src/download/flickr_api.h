#pragma once
// Flickr through its REST API, as front ends see it: which addresses it reads,
// what a run of several albums remembers between them, and the list of a
// user's albums. Used only when a key is given (Settings::flickr_api_key);
// without one, every Flickr address goes to the set reader.

#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "download/settings.h"
#include "events/failure.h"
#include "events/run_events.h"

namespace gathrix {

// What an address on flickr.com (http or https, with or without "www.", "m."
// or "secure.", a query, fragment or trailing "/" ignored) asks for:
//   /photos/USER/albums/ID, /photos/USER/sets/ID (a tail such as /with/PHOTO
//   ignored), /photos/USER/PHOTO/in/album-ID, .../in/set-ID    one album
//   /photos/USER/albums, /photos/USER/sets (/pageN ignored)     USER's albums
//   /photos/USER (/pageN ignored)                               the photostream
// None for anything else. USER is an NSID or a path alias; "%40" in it is "@".
enum class FlickrApiForm { None, Album, AlbumList, Photostream };
struct FlickrApiTarget {
    FlickrApiForm form = FlickrApiForm::None;
    std::string user;
    std::string album_id;
};
FlickrApiTarget ParseFlickrApiTarget(std::string_view address);

// What a run of several albums keeps from one to the next (owned by the
// front end, given to each album's run in Settings::flickr_api).
struct FlickrApiMemory {
    // A bad key's failure: once set, no API request is sent any more, and
    // every later Flickr album fails with it.
    std::optional<Failure> stopped;
    // Path aliases resolved so far, and the NSID of each.
    std::map<std::string, std::string> nsids;
    // The title of each album read so far, by ID, and the description an
    // album list gave (getPhotos gives none).
    std::map<std::string, std::string> titles;
    std::map<std::string, std::string> descriptions;
};

// One album of a user's album list.
struct FlickrApiAlbum {
    std::string id;
    std::string title;
    std::string address;  // https://www.flickr.com/photos/USER/albums/ID, USER as written
    std::string description = {};
};

// The albums of the album list at address (FlickrApiForm::AlbumList) in the
// owner's order, read with flickr.photosets.getList page after page (at most
// 10,000). nullopt when the list could not be read: told to events, the key
// hidden. scratch: a folder where the answers may be saved while read.
std::optional<std::vector<FlickrApiAlbum>> ListFlickrApiAlbums(RunEvents& events, const std::string& address,
                                                               const std::filesystem::path& scratch,
                                                               const Settings& settings);

// The folder of an album downloaded with others: "ID TITLE" made a safe name
// and cut to 100 bytes between characters; "ID" alone for an empty title.
std::string FlickrAlbumFolderName(std::string_view id, std::string_view title);

// The folder an earlier run made for the album ID in parent: a directory (not
// a link) named "ID" or "ID ..." that wanted(name) accepts, the first by name;
// nullopt for none.
std::optional<std::string> FindFlickrAlbumFolder(const std::filesystem::path& parent, std::string_view id,
                                                 const std::function<bool(const std::string&)>& wanted);

}  // namespace gathrix
