// gathrix-cli against servers that misbehave, one row per misbehaviour: what
// the server does, what the album page lists (or which album it serves), the
// log lines and files expected, and the exit status. A new case is one more row.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <ostream>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "cli/child_process.h"
#include "cli/exit_status.h"
#include "download/folder_record.h"
#include "support/album_pages.h"
#include "support/fake_server.h"
#include "support/raw_server.h"

namespace gathrix::test {
namespace {

namespace fs = std::filesystem;
using Files = std::map<std::string, std::string>;

constexpr const char* kAlbum = "/picasaweb.google.com/album";
const std::string kGood = PictureBytes(7, 5000);

struct World {
    FakeServer& server;
    std::unique_ptr<RawServer>& raw;
    const std::string& start;            // the starting directory
    std::unique_ptr<FakeServer>& other;  // a second host, where a row makes one
};

struct Row {
    const char* name;
    // Sets the server (and the starting directory) up; returns the picture
    // addresses that the album page lists.
    std::function<std::vector<std::string>(World&)> setup;
    std::string lines;  // the log between its header and its completion report
    Files files;        // everything in AlbumDownload afterwards
    int exit_code = 0;
    // The album address when the setup serves the album itself (a Flickr set);
    // otherwise a Picasa page at kAlbum lists the pictures.
    const char* album = nullptr;
    // stderr: one line per failure, local addresses written http://H.
    std::string err;
    int count = -1;                         // the files counted, when not one per file left
    int requests = -1;                      // the requests the run sends, when it matters that it ends
    std::vector<std::string> options = {};  // before the album address
    // Puts things into AlbumDownload (made already) before each run.
    std::function<void(const fs::path&)> prepare = nullptr;
    // Whether the requests open at once on the servers are counted: never more
    // than the transfers allowed.
    bool counts_at_once = false;
};

// Rows print as their names: byte dumps of the padded struct mean nothing.
void PrintTo(const Row& row, std::ostream* os) { *os << row.name; }

// A failing picture a.jpg at address, then a good b.jpg from the server.
std::vector<std::string> ThenGood(World& w, const std::string& address) {
    w.server.Serve("/p/b.jpg", kGood);
    return {address, w.server.Url("/p/b.jpg")};
}

std::string Raw(World& w, const std::string& headers, const std::string& status = "200 OK") {
    w.raw = std::make_unique<RawServer>("HTTP/1.1 " + status + "\r\n" + headers + "Connection: close\r\n\r\n" +
                                        std::string(100, 'x'));
    return w.raw->Url("/p/a.jpg");
}
// The 100 bytes as a 206 with that Content-Range (and, when given, that ETag).
std::string Raw206(World& w, const std::string& range, const std::string& etag = "") {
    return Raw(w,
               "Content-Range: bytes " + range + "\r\nContent-Length: 100\r\n" +
                   (etag.empty() ? "" : "ETag: " + etag + "\r\n"),
               "206 Partial Content");
}
const std::vector<std::string> kRecordOptions = {"-c", "-nc", "-N"};
constexpr const char* kSummary = "gathrix-cli: http://H/picasaweb.google.com/album: ";

const std::string kPartial = "gathrix-cli: picture http://H/p/a.jpg: partial answer to a request for the whole\n";

// Pictures served with an ETag, so that their kept bodies go on record.
std::vector<std::string> Tagged(World& w, const std::vector<std::pair<std::string, std::string>>& pictures) {
    std::vector<std::string> addresses;
    for (const auto& [path, body] : pictures) {
        w.server.ServeWithHeaders(path, body, {{"ETag", "\"" + body + "\""}});
        addresses.push_back(w.server.Url(path));
    }
    return addresses;
}

// Five pictures on two hosts by turns, each answered after a pause, so that
// those fetched ahead are all open at once; the second host counts its
// requests with the first. (The limit of connections a host stops one request
// too many only where all go to one host.)
std::vector<std::string> TwoHosts(World& w) {
    w.other = std::make_unique<FakeServer>();
    w.other->CountWith(w.server);
    std::vector<std::string> addresses;
    for (int i = 1; i <= 5; ++i) {
        FakeServer& host = i % 2 == 1 ? w.server : *w.other;
        host.ServeDelayed("/p/" + std::to_string(i) + ".jpg", kGood, std::chrono::milliseconds(300));
        addresses.push_back(host.Url("/p/" + std::to_string(i) + ".jpg"));
    }
    return addresses;
}

const std::string kFailedThenGood = "Downloading a.jpg...failed.\r\nDownloading b.jpg...OK\r\n";

// A Flickr set: its first page lists a_s.jpg and shows the number shown, with
// links on; next sets up the server's answer for "?page=2" (or another page).
constexpr const char* kSet = "/flickr.com/photos/someone/sets/72157/";
const std::string kSetPage2 = std::string(kSet) + "?page=2";

std::vector<std::string> FlickrSet(World& w, const std::string& shown, void (*next)(FakeServer&)) {
    w.server.Serve("/p/a_o.jpg", kGood);
    w.server.Serve("/p/b_o.jpg", kGood);
    w.server.Serve(kSet, FlickrSetPage({{"/photos/x/1/in/set-1/", w.server.Url("/p/a_s.jpg")}}, {shown, true}));
    next(w.server);
    return {};
}
// A page that lists b_s.jpg, shows the number shown and has links on.
std::string PageB(FakeServer& s, const std::string& shown) {
    return FlickrSetPage({{"/photos/x/2/in/set-1/", s.Url("/p/b_s.jpg")}}, {shown, true});
}
const std::string kA = "Downloading a_o.jpg...OK\r\n";

// Webshots: an album and a photo whose page names no album.
constexpr const char* kWebshotsAlbum = "/webshots.com/album/1";
constexpr const char* kWebshotsPhoto = "/webshots.com/photo/7";

// The line for an album whose pages list no picture at all.
std::string NoPictures(const char* album) {
    return std::string("gathrix-cli: no pictures found on the album's pages: http://H") + album + "\n";
}

// A Webshots album of two pages: a_fs.jpg on the first, b_fs.jpg on the second
// ("?start=1"), reached from the address the row downloads or, with
// photo_names_album, from a photo page whose link to the album ends in a fragment.
std::vector<std::string> WebshotsTwoPages(World& w, bool photo_names_album = false) {
    w.server.Serve("/wt/a_fs.jpg", kGood);
    w.server.Serve("/wt/b_fs.jpg", kGood);
    w.server.Serve(kWebshotsAlbum, WebshotsAlbumPage({{w.server.Url("/wt/a_th.jpg"), "/photo/1"}}, "?start=1"));
    w.server.Serve(std::string(kWebshotsAlbum) + "?start=1",
                   WebshotsAlbumPage({{w.server.Url("/wt/b_th.jpg"), "/photo/2"}}));
    if (photo_names_album) w.server.Serve(kWebshotsPhoto, WebshotsPhotoPage(w.server.Url(kWebshotsAlbum) + "#top"));
    return {};
}
const std::string kWebshotsAB = "Downloading a_fs.jpg...OK\r\nDownloading b_fs.jpg...OK\r\n";
const Files kWebshotsABFiles = {{"a_fs.jpg", kGood}, {"b_fs.jpg", kGood}};

// A Flickr set whose every page shows the number asked for and links on: the
// first lists a_s.jpg, the others nothing or, with repeat, a_s.jpg again.
std::vector<std::string> EndlessFlickrSet(World& w, bool repeat) {
    w.server.Serve("/p/a_o.jpg", kGood);
    w.server.ServeOthers([a = w.server.Url("/p/a_s.jpg"), repeat](const std::string&, const std::string& target) {
        const std::size_t at = target.find("?page=");
        const std::vector<FlickrThumbnail> thumbnails{{"/photos/x/1/in/set-1/", a}};
        return FakeServer::Reply{
            200, FlickrSetPage(at == std::string::npos || repeat ? thumbnails : std::vector<FlickrThumbnail>{},
                               {at == std::string::npos ? "1" : target.substr(at + 6), true})};
    });
    return {};
}

// For rows whose setup only configures the server: no pictures of a Picasa page.
std::vector<std::string> Nothing() { return {}; }

// clang-format off
const Row kRows[] = {
    {"UnknownHost", [](World& w) { return ThenGood(w, "http://nonexistent.invalid/a.jpg"); }, kFailedThenGood,
     {{"b.jpg", kGood}}, kExitPictureMissing, nullptr, "gathrix-cli: picture http://nonexistent.invalid/a.jpg: could not resolve host\n"},
    {"ConnectionRefused", [](World& w) { return ThenGood(w, "http://127.0.0.1:1/a.jpg"); }, kFailedThenGood,
     {{"b.jpg", kGood}}, kExitPictureMissing, nullptr, "gathrix-cli: picture http://H/a.jpg: connection refused\n"},
    {"RedirectToLocalFile",
     [](World& w) {
         w.server.ServeRedirect("/p/a.jpg", "file:///etc/passwd");
         return ThenGood(w, w.server.Url("/p/a.jpg"));
     },
     kFailedThenGood, {{"b.jpg", kGood}}, kExitPictureMissing, nullptr, "gathrix-cli: picture http://H/p/a.jpg: redirected to an address that is not http or https\n"},
    {"RedirectToFtp",
     [](World& w) {
         w.server.ServeRedirect("/p/a.jpg", "ftp://127.0.0.1/a.jpg");
         return ThenGood(w, w.server.Url("/p/a.jpg"));
     },
     kFailedThenGood, {{"b.jpg", kGood}}, kExitPictureMissing, nullptr, "gathrix-cli: picture http://H/p/a.jpg: redirected to an address that is not http or https\n"},
    {"RedirectLoop",
     [](World& w) {
         w.server.ServeRedirectLoop("/p/a.jpg");
         return ThenGood(w, w.server.Url("/p/a.jpg"));
     },
     kFailedThenGood, {{"b.jpg", kGood}}, kExitPictureMissing, nullptr, "gathrix-cli: picture http://H/p/a.jpg: too many redirects\n"},
    {"TimeOut",
     [](World& w) {
         w.server.ServeHang("/p/a.jpg");
         return ThenGood(w, w.server.Url("/p/a.jpg"));
     },
     kFailedThenGood, {{"b.jpg", kGood}}, kExitPictureMissing, nullptr, "gathrix-cli: picture http://H/p/a.jpg: no data for 1 s\n"},
    {"NotFound",
     [](World& w) {
         w.server.ServeStatus("/p/a.jpg", 404);
         return ThenGood(w, w.server.Url("/p/a.jpg"));
     },
     kFailedThenGood, {{"b.jpg", kGood}}, kExitPictureMissing, nullptr, "gathrix-cli: picture http://H/p/a.jpg: HTTP 404\n"},
    {"BodyCutShort",
     [](World& w) {
         w.server.ServeTruncated("/p/a.jpg", PictureBytes(1, 9000), 4000);
         return ThenGood(w, w.server.Url("/p/a.jpg"));
     },
     kFailedThenGood, {{"b.jpg", kGood}}, kExitPictureMissing, nullptr, "gathrix-cli: picture http://H/p/a.jpg: body cut short\n"},
    {"LengthOverflows", [](World& w) { return ThenGood(w, Raw(w, "Content-Length: 99999999999999999999999\r\n")); },
     kFailedThenGood, {{"b.jpg", kGood}}, kExitPictureMissing, nullptr, "gathrix-cli: picture http://H/p/a.jpg: bad Content-Length\n"},
    {"LengthTwiceDifferent",
     [](World& w) { return ThenGood(w, Raw(w, "Content-Length: 100\r\nContent-Length: 99\r\n")); }, kFailedThenGood,
     {{"b.jpg", kGood}}, kExitPictureMissing, nullptr, "gathrix-cli: picture http://H/p/a.jpg: bad Content-Length\n"},
    // Pictures that carry the names the program once used for its own pages.
    {"PicturesNamedLikeScratchPages",
     [](World& w) {
         std::vector<std::string> pictures;
         for (const char* name : {"test.htm", "original.htm", "page.htm"}) {
             w.server.Serve(std::string("/p/") + name, name);
             pictures.push_back(w.server.Url(std::string("/p/") + name));
         }
         return pictures;
     },
     "Downloading test.htm...OK\r\nDownloading original.htm...OK\r\nDownloading page.htm...OK\r\n",
     {{"test.htm", "test.htm"}, {"original.htm", "original.htm"}, {"page.htm", "page.htm"}}, kExitCompleted, nullptr, ""},
    // Misbehaving album pages, for each service: the run ends in good time with
    // what it has, every log line closed, and the page named on stderr.
    {"PicasaPageNotFound", [](World& w) { w.server.ServeStatus(kAlbum, 404); return Nothing(); }, "", {}, kExitPageFailed, kAlbum,
     "gathrix-cli: album page http://H/picasaweb.google.com/album: HTTP 404\n"},
    {"PicasaPageServerError", [](World& w) { w.server.ServeStatus(kAlbum, 500, PicasaPage({"x"})); return Nothing(); },
     "", {}, kExitPageFailed, kAlbum, "gathrix-cli: album page http://H/picasaweb.google.com/album: HTTP 500\n"},
    {"PicasaPageNeverAnswers", [](World& w) { w.server.ServeHang(kAlbum); return Nothing(); }, "", {}, kExitPageFailed, kAlbum,
     "gathrix-cli: album page http://H/picasaweb.google.com/album: no data for 1 s\n"},
    {"PicasaPageRedirectLoop", [](World& w) { w.server.ServeRedirectLoop(kAlbum); return Nothing(); }, "", {}, kExitPageFailed, kAlbum,
     "gathrix-cli: album page http://H/picasaweb.google.com/album: too many redirects\n"},
    {"PicasaPageRedirectToFile", [](World& w) { w.server.ServeRedirect(kAlbum, "file:///etc/passwd"); return Nothing(); },
     "", {}, kExitPageFailed, kAlbum,
     "gathrix-cli: album page http://H/picasaweb.google.com/album: redirected to an address that is not http or https\n"},
    {"PicasaPageCutShort",
     [](World& w) {
         w.server.Serve("/p/b.jpg", kGood);
         w.server.ServeTruncated(kAlbum, PicasaPage({w.server.Url("/p/b.jpg")}), 300); return Nothing();
     },
     "", {}, kExitPageFailed, kAlbum, "gathrix-cli: album page http://H/picasaweb.google.com/album: body cut short\n"},
    {"PicasaPageOf100MegabytesOnOneLine",
     [](World& w) { w.server.ServeRepeated(kAlbum, "feedPreload:", "\"content\",x:", 100 << 20); return Nothing(); },
     "", {}, kExitCompleted, kAlbum, NoPictures(kAlbum)},
    {"PicasaPageOfBinaryGarbage", [](World& w) { w.server.ServeGenerated(kAlbum, 4 << 20); return Nothing(); }, "", {}, kExitCompleted,
     kAlbum, NoPictures(kAlbum)},
    {"FlickrPageOfBinaryGarbage", [](World& w) { w.server.ServeGenerated(kSet, 4 << 20); return Nothing(); }, "", {}, kExitCompleted,
     kSet, NoPictures(kSet)},
    {"WebshotsPageOfBinaryGarbage", [](World& w) { w.server.ServeGenerated(kWebshotsAlbum, 4 << 20); return Nothing(); },
     "", {}, kExitCompleted, kWebshotsAlbum, NoPictures(kWebshotsAlbum)},
    {"FlickrPageServerError", [](World& w) { w.server.ServeStatus(kSet, 500); return Nothing(); }, "", {}, kExitPageFailed, kSet,
     "gathrix-cli: album page http://H/flickr.com/photos/someone/sets/72157/: HTTP 500\n"},
    {"FlickrThumbnailLineOf200000Fields",
     [](World& w) {
         w.server.Serve("/p/a_o.jpg", kGood);
         FlickrPageOptions options;
         options.filler_fields = 200000;
         w.server.Serve(kSet, FlickrSetPage({{"/photos/x/1/in/set-1/", w.server.Url("/p/a_s.jpg")}}, options)); return Nothing();
     },
     kA, {{"a_o.jpg", kGood}}, kExitCompleted, kSet, ""},
    {"FlickrPageOf100MegabytesOnOneLine",
     [](World& w) { w.server.ServeRepeated(kSet, "<div class=\"setThumbs-indv\">", "<i>", 100 << 20); return Nothing(); },
     "", {}, kExitCompleted, kSet, NoPictures(kSet)},
    {"WebshotsAlbumPageNotFound", [](World& w) { w.server.ServeStatus(kWebshotsAlbum, 404); return Nothing(); }, "", {},
     kExitPageFailed, kWebshotsAlbum, "gathrix-cli: album page http://H/webshots.com/album/1: HTTP 404\n"},
    {"WebshotsPhotoPageNotFound", [](World& w) { w.server.ServeStatus(kWebshotsPhoto, 404); return Nothing(); },
     "Searching for album source...not found.\r\n", {}, kExitPageFailed, kWebshotsPhoto,
     "gathrix-cli: album page http://H/webshots.com/photo/7: HTTP 404\n"
     "gathrix-cli: album page http://H/webshots.com/photo/7: HTTP 404\n"},
    {"WebshotsItemOf200000Fields",
     [](World& w) {
         w.server.Serve("/wt/a_fs.jpg", kGood);
         std::string fields;
         for (int i = 0; i < 200000; ++i) fields += "<i>";
         w.server.Serve(kWebshotsAlbum, fields + "<a href=\"/p/1\" style=\"background: url(" +
                                                           w.server.Url("/wt/a_th.jpg") + ")\"></a>\r\n"); return Nothing();
     },
     "Downloading a_fs.jpg...OK\r\n", {{"a_fs.jpg", kGood}}, kExitCompleted, kWebshotsAlbum, ""},
    {"WebshotsPageOf100MegabytesOnOneLine",
     [](World& w) { w.server.ServeRepeated(kWebshotsAlbum, "<p class=\"next\">", "<i>x", 100 << 20); return Nothing(); },
     "", {}, kExitCompleted, kWebshotsAlbum, NoPictures(kWebshotsAlbum)},
    // Misbehaving pictures beyond those above.
    {"PictureServerError",
     [](World& w) {
         w.server.ServeStatus("/p/a.jpg", 500);
         return ThenGood(w, w.server.Url("/p/a.jpg"));
     },
     kFailedThenGood, {{"b.jpg", kGood}}, kExitPictureMissing, nullptr, "gathrix-cli: picture http://H/p/a.jpg: HTTP 500\n"},
    {"PictureLongerThanItsContentLength",
     [](World& w) { return ThenGood(w, Raw(w, "Content-Length: 60\r\n")); },
     "Downloading a.jpg...OK\r\nDownloading b.jpg...OK\r\n", {{"a.jpg", std::string(60, 'x')}, {"b.jpg", kGood}}, kExitCompleted,
     nullptr, ""},
    {"PictureWithoutContentLength", [](World& w) { return ThenGood(w, Raw(w, "")); },
     "Downloading a.jpg...OK\r\nDownloading b.jpg...OK\r\n", {{"a.jpg", std::string(100, 'x')}, {"b.jpg", kGood}}, kExitCompleted,
     nullptr, ""},
    {"PictureNamedDotDot",
     [](World& w) { return std::vector<std::string>{w.server.Url("/p/..")}; },
     "Downloading __...failed.\r\n", {}, kExitPictureMissing, nullptr, "gathrix-cli: picture http://H/p/..: HTTP 404\n"},
    {"PictureWithAnEmptyAddress", [](World&) { return std::vector<std::string>{""}; },
     "Downloading _...failed.\r\n", {}, kExitPictureMissing, nullptr, "gathrix-cli: picture : not an http or https address\n"},
    {"PictureNameOf300Characters",
     [](World& w) {
         w.server.Serve("/p/" + std::string(300, 'n') + ".jpg", kGood);
         return std::vector<std::string>{w.server.Url("/p/" + std::string(300, 'n') + ".jpg")};
     },
     "Downloading " + std::string(251, 'n') + ".jpg...OK\r\n", {{std::string(251, 'n') + ".jpg", kGood}}, kExitCompleted, nullptr,
     ""},
    {"PictureNameWithControlCharacters",
     [](World& w) {
         w.server.Serve("/p/a%01b.jpg", kGood);
         return std::vector<std::string>{w.server.Url("/p/a\x01" "b.jpg"), w.server.Url("/p/a%01b.jpg")};
     },
     "Downloading a_b.jpg...failed.\r\nDownloading a%01b.jpg...OK\r\n", {{"a%01b.jpg", kGood}}, kExitPictureMissing, nullptr,
     "gathrix-cli: picture http://H/p/a\\x01b.jpg: not an http or https address\n"},
    // Terminal controls in addresses: escaped on stderr, "_" in names (a C1
    // control as UTF-8 and as a stray byte alike); a Latin-1 letter stays.
    // Bytes past ASCII go percent-encoded in the request.
    {"PictureAddressWithTerminalControls",
     [](World& w) {
         w.server.Serve("/p/b%C2%9B%9B%E9.jpg", kGood);
         return std::vector<std::string>{w.server.Url("/p/a\x1B]0;owned\x07\x1B[2J\xC2\x9B.jpg"),
                                         w.server.Url("/p/b\xC2\x9B\x9B\xE9.jpg")};
     },
     "Downloading a_]0;owned__[2J_.jpg...failed.\r\nDownloading b__\xE9.jpg...OK\r\n", {{"b__\xE9.jpg", kGood}}, kExitPictureMissing,
     nullptr, "gathrix-cli: picture http://H/p/a\\x1B]0;owned\\x07\\x1B[2J\\xC2\\x9B.jpg: not an http or https address\n"},
    // Bytes with no status line, also at the end of a redirect.
    {"PictureWithoutStatusLine",
     [](World& w) {
         w.raw = std::make_unique<RawServer>("no status line\r\n");
         return ThenGood(w, w.raw->Url("/p/a.jpg"));
     },
     kFailedThenGood, {{"b.jpg", kGood}}, kExitPictureMissing, nullptr, "gathrix-cli: picture http://H/p/a.jpg: no HTTP status line\n"},
    {"PictureRedirectedToAReplyWithoutStatusLine",
     [](World& w) {
         w.raw = std::make_unique<RawServer>("no status line\r\n");
         w.server.ServeRedirect("/p/a.jpg", w.raw->Url("/p/z.jpg"));
         return ThenGood(w, w.server.Url("/p/a.jpg"));
     },
     kFailedThenGood, {{"b.jpg", kGood}}, kExitPictureMissing, nullptr, "gathrix-cli: picture http://H/p/a.jpg: no HTTP status line\n"},
    // A set page that cannot be fetched ends the set; no earlier page is read
    // again in its place.
    {"FlickrPageNotFound",
     [](World& w) { return FlickrSet(w, "1", [](FakeServer& s) { s.ServeStatus(kSetPage2, 404, PageB(s, "2")); }); },
     kA, {{"a_o.jpg", kGood}}, kExitPageFailed, kSet,
     "gathrix-cli: album page http://H/flickr.com/photos/someone/sets/72157/?page=2: HTTP 404\n"},
    // Pages that lead back to a page already read end the set there; the
    // first page is page 1.
    {"FlickrPageNamesItselfAsNext",
     [](World& w) { return FlickrSet(w, "1", [](FakeServer& s) { s.Serve(kSetPage2, PageB(s, "1")); }); },
     kA + "Downloading b_o.jpg...OK\r\n", {{"a_o.jpg", kGood}, {"b_o.jpg", kGood}}, kExitCompleted, kSet, ""},
    {"FlickrPageNumberNotANumber",
     [](World& w) {
         return FlickrSet(w, "one", [](FakeServer& s) { s.Serve(std::string(kSet) + "?page=1", PageB(s, "one")); });
     },
     kA, {{"a_o.jpg", kGood}}, kExitCompleted, kSet, ""},
    // Addresses copied from a browser end in a fragment, and a page may name its
    // album with one: the album downloads exactly as without it.
    {"WebshotsAlbumAddressWithFragment", [](World& w) { return WebshotsTwoPages(w); }, kWebshotsAB, kWebshotsABFiles, kExitCompleted,
     "/webshots.com/album/1#top", "", -1, 4},
    {"WebshotsAlbumAddressEndingInHash", [](World& w) { return WebshotsTwoPages(w); }, kWebshotsAB, kWebshotsABFiles, kExitCompleted,
     "/webshots.com/album/1#", "", -1, 4},
    {"WebshotsPhotoPageNamesAlbumWithFragment", [](World& w) { return WebshotsTwoPages(w, true); },
     "Searching for album source...OK\r\n" + kWebshotsAB, kWebshotsABFiles, kExitCompleted, kWebshotsPhoto, "", -1, 5},
    {"FlickrSetAddressWithFragment",
     [](World& w) {
         return FlickrSet(w, "1", [](FakeServer& s) {
             s.Serve(kSetPage2, FlickrSetPage({{"/photos/x/2/in/set-1/", s.Url("/p/b_s.jpg")}}, {"2", false}));
         });
     },
     kA + "Downloading b_o.jpg...OK\r\n", {{"a_o.jpg", kGood}, {"b_o.jpg", kGood}}, kExitCompleted,
     "/flickr.com/photos/someone/sets/72157/#top", "", -1, 4},
    // An albums address is the set's address as the site writes it today:
    // every page is asked for at the "/sets/" address, as above.
    {"FlickrAlbumsAddress",
     [](World& w) {
         return FlickrSet(w, "1", [](FakeServer& s) {
             s.Serve(kSetPage2, FlickrSetPage({{"/photos/x/2/in/set-1/", s.Url("/p/b_s.jpg")}}, {"2", false}));
         });
     },
     kA + "Downloading b_o.jpg...OK\r\n", {{"a_o.jpg", kGood}, {"b_o.jpg", kGood}}, kExitCompleted,
     "/flickr.com/photos/someone/albums/72157/?ref=share#top", "", -1, 4},
    // A Webshots server that ignores "?start=": the page that brings nothing new
    // ends the album.
    {"WebshotsServerIgnoresStart",
     [](World& w) {
         w.server.Serve("/wt/a_fs.jpg", kGood);
         w.server.Serve("/wt/b_fs.jpg", kGood);
         w.server.Serve(kWebshotsAlbum, WebshotsAlbumPage({{w.server.Url("/wt/a_th.jpg"), "/photo/1"},
                                                           {w.server.Url("/wt/b_th.jpg"), "/photo/2"}},
                                                          "?start=1"));
         return Nothing();
     },
     kWebshotsAB, kWebshotsABFiles, kExitCompleted, kWebshotsAlbum, "", -1, 4},
    // Flickr pages without pictures that lead on for ever: ten in a row end the
    // set; so does a page number of more than nine digits.
    {"FlickrEndlessEmptyPages", [](World& w) { return EndlessFlickrSet(w, false); }, kA, {{"a_o.jpg", kGood}}, kExitCompleted, kSet,
     "", -1, 12},
    {"FlickrEndlessPagesOfTheSamePicture", [](World& w) { return EndlessFlickrSet(w, true); }, kA,
     {{"a_o.jpg", kGood}}, kExitCompleted, kSet, "", -1, 3},
    {"FlickrPageNumberOfTenDigits",
     [](World& w) {
         return FlickrSet(w, "999999998", [](FakeServer& s) {
             s.Serve(std::string(kSet) + "?page=999999999", PageB(s, "999999999"));
         });
     },
     kA + "Downloading b_o.jpg...OK\r\n", {{"a_o.jpg", kGood}, {"b_o.jpg", kGood}}, kExitCompleted, kSet, "", -1, 4},
    // Pictures of one name at different addresses never replace each other: the
    // later ones are numbered in album order, a failed one takes no name, and
    // the same address again replaces its own file.
    {"PicturesOfOneName",
     [](World& w) {
         w.server.Serve("/p/x/IMG.JPG", "first");
         w.server.ServeTrickle("/p/y/IMG.JPG", "second", 2, std::chrono::milliseconds(20));
         w.server.ServeStatus("/p/w/IMG.JPG", 404);
         w.server.Serve("/p/z/IMG.JPG", "third");
         w.server.Serve("/p/x/noext", "n1");
         w.server.Serve("/p/y/noext", "n2");
         std::vector<std::string> pictures;
         for (const char* path : {"/p/x/IMG.JPG", "/p/y/IMG.JPG", "/p/w/IMG.JPG", "/p/x/IMG.JPG", "/p/z/IMG.JPG",
                                  "/p/x/noext", "/p/y/noext"}) {
             pictures.push_back(w.server.Url(path));
         }
         return pictures;
     },
     "Downloading IMG.JPG...OK\r\nDownloading IMG-2.JPG...OK\r\nDownloading IMG-3.JPG...failed.\r\n"
     "Downloading IMG.JPG...OK\r\nDownloading IMG-4.JPG...OK\r\nDownloading noext...OK\r\nDownloading noext-2...OK\r\n",
     {{"IMG.JPG", "first"}, {"IMG-2.JPG", "second"}, {"IMG-4.JPG", "third"}, {"noext", "n1"}, {"noext-2", "n2"}}, kExitPictureMissing,
     nullptr, "gathrix-cli: picture http://H/p/w/IMG.JPG: HTTP 404\n", 6},
    // The size check and the repair use the picture's own name; a too-small
    // file that is deleted keeps its name for its picture all the same.
    {"WebshotsPicturesOfOneNameRepaired",
     [](World& w) {
         w.server.Serve("/wt/x/a_fs.jpg", "tiny");
         w.server.Serve("/wt/y/a_fs.jpg", kGood);
         w.server.Serve("/wt/z/a_fs.jpg", "tiny");
         w.server.Serve("/p/big.jpg", PictureBytes(3, 5000));
         w.server.Serve("/wf/photo/fullsize/3", WebshotsFullSizePage(w.server.Url("/p/big.jpg")));
         w.server.Serve(kWebshotsAlbum, WebshotsAlbumPage({{w.server.Url("/wt/x/a_th.jpg"), "/photo/1"},
                                                           {w.server.Url("/wt/y/a_th.jpg"), "/photo/2"},
                                                           {w.server.Url("/wt/z/a_th.jpg"), "/photo/3"}}));
         return Nothing();
     },
     "Downloading a_fs.jpg...OK\r\nFile a_fs.jpg failed. Searching for original version...not found.\r\n"
     "Downloading a_fs-2.jpg...OK\r\n"
     "Downloading a_fs-3.jpg...OK\r\nFile a_fs-3.jpg failed. Searching for original version...succesful.\r\n"
     "Downloading a_fs-3.jpg...OK\r\n",
     {{"a_fs-2.jpg", kGood}, {"a_fs-3.jpg", PictureBytes(3, 5000)}}, kExitPictureMissing, kWebshotsAlbum,
     "gathrix-cli: picture http://H/wt/x/a_fs.jpg: came down too small, and no full-size version was found\n", -1, 7},
    // The program's own files in the album folder: a picture never takes
    // their names, nor a kept body another picture's record.
    {"PictureNamedLikeAKeptBody",
     [](World& w) { return Tagged(w, {{"/p/1/.gathrix-partial-x.jpg", "first"}, {"/p/2/x.jpg", "second"}}); },
     "Downloading _gathrix-partial-x.jpg...OK\r\nDownloading x.jpg...OK\r\n",
     {{"_gathrix-partial-x.jpg", "first"}, {"x.jpg", "second"}}, kExitCompleted, nullptr,
     std::string(kSummary) + "2 new\n", -1, -1, {"-c"}},
    {"PictureNamedLikeARecord",
     [](World& w) { return Tagged(w, {{"/p/a", "first"}, {"/p/a.info", "second"}, {"/p/.gathrix-info-a", "3"}}); },
     "Downloading a...OK\r\nDownloading a.info...OK\r\nDownloading _gathrix-info-a...OK\r\n",
     {{"a", "first"}, {"a.info", "second"}, {"_gathrix-info-a", "3"}}, kExitCompleted, nullptr,
     std::string(kSummary) + "3 new\n", -1, -1, {"-c"}},
    // Kept bodies and records that are no files: nothing waits on them, and
    // they are left alone (also at the name earlier versions gave records).
    {"KeptBodyAndRecordsThatAreFifos", [](World& w) { return Tagged(w, {{"/p/a.jpg", "picture"}}); },
     "Downloading a.jpg...OK\r\n",
     {{"a.jpg", "picture"}, {".gathrix-partial-a.jpg", ""}, {".gathrix-info-a.jpg", ""},
      {".gathrix-partial-a.jpg.info", ""}}, kExitCompleted, nullptr, std::string(kSummary) + "1 new\n", 1, -1, {"-c"},
     [](const fs::path& folder) {
         for (const char* name : {".gathrix-partial-a.jpg", ".gathrix-info-a.jpg", ".gathrix-partial-a.jpg.info"})
             ASSERT_EQ(mkfifo((folder / name).c_str(), 0600), 0);
     }},
    {"RecordThatIsAFifo", [](World& w) { return Tagged(w, {{"/p/a.jpg", "picture"}}); },
     "Downloading a.jpg...OK\r\n", {{"a.jpg", "picture"}, {".gathrix-partial-a.jpg.info", ""}}, kExitCompleted, nullptr,
     std::string(kSummary) + "1 new\n", 1, -1, {"-c"},
     [](const fs::path& folder) {
         WriteFile((folder / ".gathrix-partial-a.jpg").string(), "pic");
         for (const char* name : {".gathrix-info-a.jpg", ".gathrix-partial-a.jpg.info"})
             ASSERT_EQ(mkfifo((folder / name).c_str(), 0600), 0);
     }},
    // A 206 to a request without Range is the picture only when it is the whole.
    {"PartialAnswerToARequestForTheWhole", [](World& w) { return ThenGood(w, Raw206(w, "0-99/400")); },
     kFailedThenGood, {{"b.jpg", kGood}}, kExitPictureMissing, nullptr, kPartial},
    {"PartialAnswerWithContinue", [](World& w) { return ThenGood(w, Raw206(w, "0-99/400", "\"v\"")); },
     kFailedThenGood, {{"b.jpg", kGood}}, kExitPictureMissing, nullptr,
     std::string(kPartial) + kSummary + "1 new, 1 missing\n", -1, -1, {"-c"}},
    {"PartialAnswerOfTheRest", [](World& w) { return ThenGood(w, Raw206(w, "300-399/400")); }, kFailedThenGood,
     {{"b.jpg", kGood}}, kExitPictureMissing, nullptr, kPartial},
    {"WholeRangeWithPartOfTheBody", [](World& w) { return ThenGood(w, Raw206(w, "0-199/200")); }, kFailedThenGood,
     {{"b.jpg", kGood}}, kExitPictureMissing, nullptr, kPartial},
    {"PartialAnswerWithoutContentRange",
     [](World& w) { return ThenGood(w, Raw(w, "Content-Length: 100\r\n", "206 Partial Content")); },
     kFailedThenGood, {{"b.jpg", kGood}}, kExitPictureMissing, nullptr, kPartial},
    {"WholeAnswerAs206", [](World& w) { return ThenGood(w, Raw206(w, "0-99/100")); },
     "Downloading a.jpg...OK\r\nDownloading b.jpg...OK\r\n", {{"a.jpg", std::string(100, 'x')}, {"b.jpg", kGood}},
     kExitCompleted, nullptr, ""},
    {"WholeAnswerAs206WithContinue", [](World& w) { return ThenGood(w, Raw206(w, "0-99/100", "\"v\"")); },
     "Downloading a.jpg...OK\r\nDownloading b.jpg...OK\r\n", {{"a.jpg", std::string(100, 'x')}, {"b.jpg", kGood}},
     kExitCompleted, nullptr, std::string(kSummary) + "2 new\n", -1, -1, {"-c"}},
    {"NoMoreRequestsAtOnceThanTransfers", TwoHosts,
     "Downloading 1.jpg...OK\r\nDownloading 2.jpg...OK\r\nDownloading 3.jpg...OK\r\nDownloading 4.jpg...OK\r\n"
     "Downloading 5.jpg...OK\r\n",
     {{"1.jpg", kGood}, {"2.jpg", kGood}, {"3.jpg", kGood}, {"4.jpg", kGood}, {"5.jpg", kGood}}, kExitCompleted, nullptr, "",
     -1, -1, {}, nullptr, true},
};
// clang-format on

class HostileServer : public ::testing::TestWithParam<Row> {
protected:
    static std::string WithoutTimes(const std::string& out) {
        std::string s = std::regex_replace(out, std::regex("time:\\d\\d:\\d\\d:\\d\\d"), "time:T");
        return std::regex_replace(s, std::regex("Toatal time: \\d+ seconds"), "Toatal time: N seconds");
    }

    Sandbox sandbox;
    FakeServer server;
    std::unique_ptr<RawServer> raw;
    std::unique_ptr<FakeServer> other;
};

// Everything in a folder, hidden files included, with its content.
Files FolderFiles(const fs::path& folder) {
    Files files;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
        // A FIFO or a link: its name only.
        files[entry.path().filename().string()] =
            entry.is_symlink() || !entry.is_regular_file() ? "" : ReadFile(entry.path().string());
    }
    return files;
}

// Each row runs with one transfer and with four: the same log, files, status
// and failures, and the same requests.
TEST_P(HostileServer, RunEndsWithTheRightLogFilesAndStatus) {
    const Row& row = GetParam();
    World world{server, raw, sandbox.Path(), other};
    const std::vector<std::string> pictures = row.setup(world);
    if (!row.album) server.Serve(kAlbum, PicasaPage(pictures));

    std::vector<std::vector<std::string>> requests;
    for (const char* jobs : {"1", "4"}) {
        SCOPED_TRACE(std::string("jobs ") + jobs);
        Sandbox start;
        const std::size_t before = server.Requests().size();
        if (row.prepare) {
            fs::create_directory(fs::path(start.Path()) / "AlbumDownload");
            row.prepare(fs::path(start.Path()) / "AlbumDownload");
        }
        std::vector<std::string> argv = {GATHRIX_CLI_PATH};
        argv.insert(argv.end(), row.options.begin(), row.options.end());
        argv.push_back(server.Url(row.album ? row.album : kAlbum));
        const ProcessResult r = RunProcess(argv, start.Path(),
                                           {{"GATHRIX_REQUEST_TIMEOUT", "1"},
                                            {"GATHRIX_FLICKR_BASE_URL", server.Url("/fl")},
                                            {"GATHRIX_WEBSHOTS_THUMBNAIL_PREFIX", server.Url("/wt")},
                                            {"GATHRIX_WEBSHOTS_FULLSIZE_BASE", server.Url("/wf")},
                                            {"GATHRIX_JOBS", jobs}});
        EXPECT_EQ(r.exit_code, row.exit_code);
        const fs::path folder = fs::canonical(start.Path()) / "AlbumDownload";
        EXPECT_EQ(WithoutTimes(r.out),
                  "Start time:T\r\nDestination folder:" + folder.string() + "\r\n" + row.lines +
                      "\r\nEnd time:T\r\nToatal time: N seconds\r\n" + " " +
                      std::to_string(row.count >= 0 ? static_cast<std::size_t>(row.count) : row.files.size()) +
                      " files successfully downloaded!\r\n");
        EXPECT_EQ(std::regex_replace(r.err, std::regex("http://127\\.0\\.0\\.1:\\d+"), "http://H"), row.err);
        // A run that skips what is here keeps a record of the folder; no other does.
        Files files = FolderFiles(folder);
        const bool recorded = files.erase(kRecordFileName) > 0;
        EXPECT_EQ(recorded, std::find_first_of(row.options.begin(), row.options.end(), kRecordOptions.begin(),
                                               kRecordOptions.end()) != row.options.end());
        EXPECT_EQ(files, row.files);
        EXPECT_EQ(FolderFiles(start.Path()).size(), 1u);  // nothing beside AlbumDownload
        std::vector<std::string> seen = server.Requests();
        seen.erase(seen.begin(), seen.begin() + static_cast<std::ptrdiff_t>(before));
        if (row.requests >= 0) {
            EXPECT_EQ(seen.size(), static_cast<std::size_t>(row.requests));
        }
        if (row.counts_at_once) {
            const int most = server.MostAtOnce();
            EXPECT_LE(most, std::atoi(jobs));
            EXPECT_GE(most, std::min(std::atoi(jobs), 2));  // they were counted
        }
        std::sort(seen.begin(), seen.end());
        requests.push_back(seen);
    }
    EXPECT_EQ(requests[0], requests[1]);
}

INSTANTIATE_TEST_SUITE_P(Rows, HostileServer, ::testing::ValuesIn(kRows),
                         [](const auto& p) { return std::string(p.param.name); });

// A folder that cannot be made or entered stops the run before any request,
// and nothing in the starting directory is touched.
TEST(HostileStart, UnusableWorkingFolderExitsWithSix) {
    for (const bool dangling : {false, true}) {
        Sandbox sandbox;
        FakeServer server;
        server.Serve("/p/.bashrc", "from the server");
        server.Serve(kAlbum, PicasaPage({server.Url("/p/.bashrc")}));
        const fs::path start(sandbox.Path());
        WriteFile((start / ".bashrc").string(), "mine");
        if (dangling) {
            fs::create_symlink("nowhere", start / "AlbumDownload");
        } else {
            WriteFile((start / "AlbumDownload").string(), "a file");
        }
        const ProcessResult r = RunProcess({GATHRIX_CLI_PATH, server.Url(kAlbum)}, sandbox.Path());
        EXPECT_EQ(r.exit_code, kExitNoFolder);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err,
                  "The folder AlbumDownload could not be made or entered.\n"
                  "gathrix-cli: cannot make or enter the folder '" +
                      (fs::canonical(start) / "AlbumDownload").string() +
                      "': " + (dangling ? "No such file or directory" : "Not a directory") + "\n");
        EXPECT_TRUE(server.Requests().empty());
        EXPECT_EQ(ReadFile((start / ".bashrc").string()), "mine");
        EXPECT_EQ(std::distance(fs::directory_iterator(start), fs::directory_iterator()), 2);
    }
}

// Write failures name the file or folder and the system's reason. Files of at
// most 8 blocks (ulimit -f) stand in for a full disk, root or not: a picture
// beyond it fails, and so does a page, which is then the folder's failure and
// not the page's.
TEST(HostileStart, WriteFailuresNameThePathAndTheReason) {
    for (const bool big_page : {false, true}) {
        for (const char* jobs : {"1", "4"}) {
            SCOPED_TRACE(std::string(big_page ? "big page" : "big picture") + ", jobs " + jobs);
            Sandbox sandbox;
            FakeServer server;
            const std::string small = PictureBytes(1, 2000);
            server.Serve("/p/small.jpg", small);
            server.Serve("/p/big.jpg", PictureBytes(3, 20000));
            std::string page = PicasaPage({server.Url("/p/small.jpg"), server.Url("/p/big.jpg")});
            if (big_page) page += std::string(20000, ' ') + "\r\n";
            server.Serve(kAlbum, page);
            const ProcessResult r = RunProcess({"/bin/sh", "-c", "trap '' XFSZ; ulimit -f 8 && exec \"$0\" \"$@\"",
                                                GATHRIX_CLI_PATH, "-q", "-j", jobs, server.Url(kAlbum)},
                                               sandbox.Path());
            const std::string folder = (fs::canonical(sandbox.Path()) / "AlbumDownload").string();
            if (big_page) {
                EXPECT_EQ(r.exit_code, kExitNoFolder);
                EXPECT_EQ(r.err, "gathrix-cli: cannot write in the folder '" + folder + "': File too large\n");
                EXPECT_TRUE(FolderFiles(folder).empty());
            } else {
                EXPECT_EQ(r.exit_code, kExitPictureMissing);
                EXPECT_EQ(std::regex_replace(r.err, std::regex("http://127\\.0\\.0\\.1:\\d+"), "http://H"),
                          "gathrix-cli: picture http://H/p/big.jpg: could not write the file '" + folder +
                              "/big.jpg': File too large\n");
                EXPECT_EQ(FolderFiles(folder), (Files{{"small.jpg", small}}));
            }
        }
    }
    // A folder that takes no file, where permissions hold (not for root).
    if (::geteuid() == 0) return;
    Sandbox sandbox;
    FakeServer server;
    server.Serve(kAlbum, PicasaPage({server.Url("/p/a.jpg")}));
    const fs::path folder = fs::canonical(sandbox.Path()) / "AlbumDownload";
    fs::create_directory(folder);
    fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
    const ProcessResult r = RunProcess({GATHRIX_CLI_PATH, "-q", server.Url(kAlbum)}, sandbox.Path());
    fs::permissions(folder, fs::perms::owner_all);
    EXPECT_EQ(r.exit_code, kExitNoFolder);
    EXPECT_EQ(r.err, "gathrix-cli: cannot write in the folder '" + folder.string() + "': Permission denied\n");
    EXPECT_EQ(server.Hits(kAlbum), 0);
}

// Interrupted at any moment, the run leaves no temporary file and no saved page:
// only the pictures that were complete.
struct Interrupt {
    const char* name;
    int signal_number;
    bool during_page;  // else during the second picture
    const char* jobs = "1";
};

void PrintTo(const Interrupt& row, std::ostream* os) { *os << row.name; }

class Interrupted : public ::testing::TestWithParam<Interrupt> {};

TEST_P(Interrupted, LeavesNoTemporaryFileOrSavedPage) {
    const Interrupt& row = GetParam();
    Sandbox sandbox;
    FakeServer server;
    server.Serve("/p/first.jpg", kGood);
    // Slow pictures after the first: with four transfers, three are in flight at once.
    std::vector<std::string> pictures = {server.Url("/p/first.jpg")};
    for (const char* name : {"slow.jpg", "slow2.jpg", "slow3.jpg"}) {
        server.ServeTrickle(std::string("/p/") + name, PictureBytes(2, 200000), 1000, std::chrono::milliseconds(20));
        pictures.push_back(server.Url(std::string("/p/") + name));
    }
    const std::string page = PicasaPage(pictures);
    if (row.during_page) {
        server.ServeTrickle(kAlbum, page, 100, std::chrono::milliseconds(50));
    } else {
        server.Serve(kAlbum, page);
    }
    ChildProcess child({GATHRIX_CLI_PATH, server.Url(kAlbum)}, sandbox.Path(),
                       {{"GATHRIX_REQUEST_TIMEOUT", "5"}, {"GATHRIX_JOBS", row.jobs}});
    ASSERT_TRUE(child.WaitForOutput(row.during_page ? "Destination folder:" : "Downloading slow.jpg...",
                                    std::chrono::seconds(10)));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    child.Signal(row.signal_number);
    const ProcessResult r = child.Finish();
    EXPECT_EQ(r.exit_code, kExitSignalBase + row.signal_number);
    const Files expected = row.during_page ? Files{} : Files{{"first.jpg", kGood}};
    EXPECT_EQ(FolderFiles(fs::path(sandbox.Path()) / "AlbumDownload"), expected);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Signals, Interrupted,
                         ::testing::Values(Interrupt{"TermDuringPage", SIGTERM, true},
                                           Interrupt{"IntDuringPage", SIGINT, true},
                                           Interrupt{"HupDuringPage", SIGHUP, true},
                                           Interrupt{"TermDuringPicture", SIGTERM, false},
                                           Interrupt{"IntDuringPicture", SIGINT, false},
                                           Interrupt{"HupDuringPicture", SIGHUP, false},
                                           Interrupt{"TermWithFourTransfers", SIGTERM, false, "4"},
                                           Interrupt{"IntWithFourTransfers", SIGINT, false, "4"}),
                         [](const auto& p) { return std::string(p.param.name); });
// clang-format on

// A reader that goes away (gathrix-cli ADDRESS | head -c 100) ends the run the
// same way.
TEST(HostileStart, ClosedStdoutLeavesNoSavedPage) {
    Sandbox sandbox;
    FakeServer server;
    std::vector<std::string> pictures;
    for (int i = 1; i <= 40; ++i) {
        const std::string path = "/p/picture-with-a-long-name-" + std::to_string(i) + ".jpg";
        server.ServeTrickle(path, PictureBytes(i, 2000), 1000, std::chrono::milliseconds(5));
        pictures.push_back(server.Url(path));
    }
    server.Serve(kAlbum, PicasaPage(pictures));
    const ProcessResult r = RunProcess(
        {"/bin/sh", "-c", std::string("'") + GATHRIX_CLI_PATH + "' '" + server.Url(kAlbum) + "' | head -c 100"},
        sandbox.Path());
    EXPECT_EQ(r.out.size(), 100u);
    // Only whole pictures: no saved page, no partial body.
    for (const auto& [name, content] : FolderFiles(fs::path(sandbox.Path()) / "AlbumDownload")) {
        const int i = std::atoi(name.substr(std::string("picture-with-a-long-name-").size()).c_str());
        EXPECT_EQ(content, PictureBytes(i, 2000)) << name;
    }
    EXPECT_LT(server.Requests().size(), 41u);  // it stopped early
}

}  // namespace
}  // namespace gathrix::test
