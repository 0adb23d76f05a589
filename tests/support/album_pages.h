#pragma once
// Album pages in the forms the readers take apart: a Picasa album page whose
// script embeds the album feed after "feedPreload:", with each picture's address
// following a "content$src" key, and a Flickr set page with its paginator and
// its line of thumbnails.

#include <cstddef>
#include <string>
#include <vector>

namespace gathrix::test {

struct PicasaPageOptions {
    // Picture addresses that appear before the feed (and must not be fetched).
    std::vector<std::string> before_feed;
    // Write the feed's addresses without double quotes.
    bool unquoted_addresses = false;
    // Leave the "feedPreload:" marker out.
    bool without_feed = false;
};

// A page whose feed names the given picture addresses, on one long line.
std::string PicasaPage(const std::vector<std::string>& pictures, const PicasaPageOptions& options = {});

// One thumbnail of a Flickr set page: the link to the photo's own page (in the
// field before the image) and the thumbnail's address.
struct FlickrThumbnail {
    std::string photo_link;
    std::string thumbnail;
};

struct FlickrPageOptions {
    std::string this_page;  // the number the "this-page" element shows; empty: no paginator
    bool has_next = false;  // "?page" links follow the "this-page" element
    // ">"-separated fields put before the paginator and the thumbnails (before
    // the thumbnail line's marker as well as after it).
    std::size_t filler_fields = 0;
};

// A Flickr set page: a style line that mentions "this-page" without "?page", a
// paginator line, and all thumbnails on one line from "setThumbs-indv" on, in
// the order given. Markers are written with capitals.
std::string FlickrSetPage(const std::vector<FlickrThumbnail>& thumbnails, const FlickrPageOptions& options = {});

// Webshots pages: album pages whose thumbnails are "url(...)" styles on links
// to the photos' own pages, photo pages that link to their album, and
// full-size pages that hand the picture to a viewer script.
struct WebshotsThumbnail {
    std::string address;     // ".../NAME_th.jpg"
    std::string photo_link;  // the photo's own page
};

// One thumbnail a line; with a next_page address the pager links to it as rel="next".
std::string WebshotsAlbumPage(const std::vector<WebshotsThumbnail>& thumbnails, const std::string& next_page = "");
// A photo page that links to album (no album link when empty).
std::string WebshotsPhotoPage(const std::string& album);
// A full-size page whose script names picture (no script call when empty).
std::string WebshotsFullSizePage(const std::string& picture);

// Some distinct bytes for picture number i, size bytes long (binary, with
// commas, quotes, CR and LF among them).
std::string PictureBytes(int i, std::size_t size);

}  // namespace gathrix::test
