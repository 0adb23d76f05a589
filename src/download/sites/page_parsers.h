#pragma once
// What the album readers read out of the services' pages: pure functions over
// a page's bytes, with no fetching and no files. Each reader's driver fetches
// the pages and the pictures (album_readers.h); everything it learns from a
// page comes from here.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "download/found_picture.h"

namespace gathrix {

// Picasa Web Albums: the whole album comes from one page, which embeds the
// album feed as script data. The page's address is the album address up to
// its first "photo#" (a link to one photo of the album), or the whole address.
std::string PicasaPageAddress(const std::string& album_address);
// The pictures of the album page, in feed order.
std::vector<FoundPicture> ParsePicasaPage(std::string_view page);

// Flickr photo sets. The set address a typed address stands for: everything
// from the first "?" or "#" on goes, and ".../photos/USER/set-NUMBER" becomes
// ".../photos/USER/sets/NUMBER", as does ".../photos/USER/PHOTO/in/album-NUMBER"
// when no "/set-" is there. So does ".../photos/USER/albums/NUMBER..." (what
// the site calls a set today) in an address without "/sets/": its "albums"
// becomes "sets", the rest is kept, but for a "/with/PHOTO..." right after the
// number, which goes (leaving the "/" before it).
std::string FlickrSetAddress(std::string_view album_address);
// What one set page tells: its pictures in the order of their thumbnails
// (each "_s." made "_o.", with the field before the thumbnail's for the
// original-size search) and the number of the next page, empty on the last.
struct FlickrSetPage {
    std::vector<FoundPicture> pictures;
    std::string next_page;
};
FlickrSetPage ParseFlickrSetPage(std::string_view page);
// The address of the photo's page below the Flickr base URL: the photo link up
// to and including the "/" that begins its first "/in/"; empty without "/in/".
std::string FlickrPhotoPath(std::string_view photo_link);
// The first original a size page or photo page names: the first item holding
// "_o.jpg" in any case, up to and including that marker, and of that the last
// field between double quotes as LastField takes it (text/strings.h): the text
// after the last double quote, unless three double quotes in a row end the
// search before it. nullopt when the page names none.
std::optional<std::string> ParseFlickrOriginal(std::string_view page);

// Webshots. The album that a photo page names: between the first two double
// quotes of its first line that names an album; nullopt when none does.
std::optional<std::string> ParseWebshotsAlbumSource(std::string_view photo_page);
// What one album page tells: its pictures in page order (each a "url(" style
// holding the thumbnail prefix, "_th." made "_fs.", with the photo's own page)
// and whether a link marked rel="next" follows.
struct WebshotsAlbumPage {
    std::vector<FoundPicture> pictures;
    bool has_next = false;
};
WebshotsAlbumPage ParseWebshotsAlbumPage(std::string_view page, std::string_view thumbnail_prefix);
// The picture a full-size page hands its viewer: the item after the first one
// holding "so.addVariable('", between its first two single quotes (empty when
// that item is missing). nullopt when no item holds the marker.
std::optional<std::string> ParseWebshotsFullSizePage(std::string_view page);

}  // namespace gathrix
