// Writes the seed pages of the reader and parser harnesses, built with the
// same page builders the tests use, into DIR/<harness>/ (existing seeds of the
// same name are replaced):
//
//   build-fuzz/fuzz_seeds fuzz/corpus
//
// A reader seed of several pages has them one after another, each ending at
// "<!--next page-->" (see reader_harness.h); a parser seed is one page.

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "support/album_pages.h"
#include "support/fake_server.h"

namespace {

using namespace gathrix::test;
namespace fs = std::filesystem;

constexpr const char* kBreak = "<!--next page-->";

std::string Pages(const std::vector<std::string>& pages) {
    std::string all;
    for (std::size_t i = 0; i < pages.size(); ++i) all += (i > 0 ? kBreak : "") + pages[i];
    return all;
}

void Write(const fs::path& dir, const std::string& name, const std::string& content) {
    fs::create_directories(dir);
    WriteFile((dir / name).string(), content);
}

// Picture addresses on another host than the album's.
std::string Picture(int i, const std::string& suffix = ".jpg") {
    return "http://lh3.ggpht.com/_someone/SomeAlbum/s1600/IMG_" + std::to_string(1000 + i) + suffix;
}

FlickrThumbnail FlickrPhoto(int id) {
    const std::string n = std::to_string(id);
    return {"/photos/someone/" + n + "/in/set-72157600000000000/",
            "http://farm4.static.flickr.com/3001/" + n + "_5a1b2c3d4e_s.jpg"};
}

// A size page (or photo page) naming the original of photo id.
std::string FlickrSizePage(int id) {
    const std::string original = "http://farm4.static.flickr.com/3001/" + std::to_string(id) + "_9f8e7d6c5b_o.jpg";
    return "<html><head><title>All sizes</title></head><body>\r\n"
           "<p>Sizes: <a href=\"/photos/someone/" +
           std::to_string(id) +
           "/sizes/s/\">Small</a>,\r\n"
           "<img src=\"" +
           original +
           "\" width=\"2048\" height=\"1536\">\r\n"
           "<a href=\"" +
           original + "\">Download the original</a></p></body></html>\r\n";
}

WebshotsThumbnail WebshotsPhoto(int i) {
    const std::string n = std::to_string(i);
    return {"http://thumb11.webshots.net/t/24/624/1/" + n + "/IMG_" + n + "_th.jpg",
            "http://community.webshots.com/photo/200" + n + "/300" + n};
}

std::string WebshotsFullSize(int i) {
    const std::string n = std::to_string(i);
    return WebshotsFullSizePage("http://image11.webshots.com/11/" + n + "/IMG_" + n + "_fs.jpg");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s CORPUS_DIR\n", argv[0]);
        return 2;
    }
    const fs::path root = argv[1];

    const std::string picasa_album = PicasaPage({Picture(1), Picture(2), Picture(3, ".JPG")});
    PicasaPageOptions around;
    around.before_feed = {Picture(9)};
    around.unquoted_addresses = true;
    const std::string picasa_unquoted = PicasaPage({Picture(1), Picture(1), Picture(4)}, around);
    PicasaPageOptions no_feed;
    no_feed.without_feed = true;
    const std::string picasa_no_feed = PicasaPage({Picture(1)}, no_feed);
    for (const char* harness : {"picasa_reader_fuzz", "picasa_parser_fuzz"}) {
        Write(root / harness, "album", picasa_album);
        Write(root / harness, "unquoted", picasa_unquoted);
        Write(root / harness, "no_feed", picasa_no_feed);
    }

    FlickrPageOptions paged;
    paged.this_page = "1";
    paged.has_next = true;
    const std::string flickr_paged = FlickrSetPage({FlickrPhoto(1001), FlickrPhoto(1002), FlickrPhoto(1003)}, paged);
    const std::string flickr_one_page = FlickrSetPage({FlickrPhoto(1001), FlickrPhoto(1002)});
    FlickrPageOptions filler;
    filler.this_page = "12";
    filler.has_next = true;
    filler.filler_fields = 2;
    const std::string flickr_filler = FlickrSetPage({FlickrPhoto(7)}, filler);

    const fs::path flickr = root / "flickr_reader_fuzz";
    Write(flickr, "set_sizes_photo", Pages({flickr_paged, FlickrSizePage(1001), FlickrSizePage(1002)}));
    Write(flickr, "one_page", flickr_one_page);
    Write(flickr, "no_size_page", Pages({flickr_filler, "", FlickrSizePage(7)}));
    // Every page shows the number asked for and leads on: empty pages, and
    // pages of the same picture.
    FlickrPageOptions endless;
    endless.this_page = "{n}";
    endless.has_next = true;
    Write(flickr, "endless_empty_pages", FlickrSetPage({}, endless));
    Write(flickr, "endless_same_picture", FlickrSetPage({FlickrPhoto(9)}, endless));

    const fs::path flickr_pages = root / "flickr_parser_fuzz";
    Write(flickr_pages, "set_page", flickr_paged);
    Write(flickr_pages, "one_page", flickr_one_page);
    Write(flickr_pages, "filler", flickr_filler);
    Write(flickr_pages, "size_page", FlickrSizePage(1001));
    // A set's address as the site writes it today, copied with a query and a fragment.
    Write(flickr_pages, "albums_address", "http://www.flickr.com/photos/someone/albums/72157600000000000/?page=2#top");

    const std::string webshots_album = WebshotsAlbumPage({WebshotsPhoto(1), WebshotsPhoto(2), WebshotsPhoto(3)},
                                                         "http://community.webshots.com/album/987654?start=3");
    const std::string webshots_one_page = WebshotsAlbumPage({WebshotsPhoto(6)});
    const std::string webshots_photo = WebshotsPhotoPage("http://community.webshots.com/album/987654?vhost=someone");

    const fs::path webshots = root / "webshots_reader_fuzz";
    Write(webshots, "album_fullsize", Pages({webshots_album, WebshotsFullSize(1)}));
    Write(webshots, "photo_album_fullsize",
          Pages({WebshotsAlbumPage({WebshotsPhoto(4), WebshotsPhoto(5)}), WebshotsFullSize(4), webshots_photo}));
    Write(webshots, "one_page", webshots_one_page);

    const fs::path webshots_albums = root / "webshots_album_parser_fuzz";
    Write(webshots_albums, "album_page", webshots_album);
    Write(webshots_albums, "one_page", webshots_one_page);
    const fs::path webshots_photos = root / "webshots_photo_parser_fuzz";
    Write(webshots_photos, "photo_page", webshots_photo);
    Write(webshots_photos, "fullsize_page", WebshotsFullSize(1));

    // Version files as the site may publish them: CR LF, quoted, Unix line ends.
    const fs::path version = root / "version_parser_fuzz";
    Write(version, "plain", "3.5\r\n");
    Write(version, "quoted", "\t\"3.6\",beta\r\n");
    Write(version, "unix", "3.5\nnotes\n");
    return 0;
}
