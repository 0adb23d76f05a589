// Webshots: an album is read page by page. Each page is read twice: line by
// line, for a link marked rel="next" (only its presence counts), and item by
// item, for the thumbnails. A thumbnail is a "url(" style holding the thumbnail
// prefix, in one of the ">"-separated fields of an item; the same field holds
// the photo's own page between its first two double quotes. The next page is
// always the album base with "?start=" and the number of pictures stored so far.
//
// A photo address is first taken to its album: the first line of the photo page
// that names an album holds the album's address between its first two double
// quotes.

#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "download/sites/album_readers.h"
#include "download/sites/page_parsers.h"
#include "text/page_reader.h"
#include "text/strings.h"

namespace gathrix {

namespace {
constexpr std::string_view kNextPageMarker = "rel=\"next\"";
constexpr std::string_view kStyleUrl = "url(";

// The picture of a thumbnail field whose style url starts at marker_at:
// the thumbnail address with "_th." made "_fs.", and the photo's own page.
FoundPicture PictureOf(std::string_view field, std::size_t marker_at) {
    std::string address = Field(field.substr(marker_at + kStyleUrl.size()), 1, ")");
    address = ReplaceAll(ReplaceAll(address, "\"", ""), "_th.", "_fs.");
    return {address, Field(field, 2, "\"")};
}
}  // namespace

std::optional<std::string> ParseWebshotsAlbumSource(std::string_view photo_page) {
    const std::string album_marker = std::string(kWebshotsSiteMarker) + "album";
    PageReader reader(photo_page);
    while (!reader.AtEnd()) {
        const std::optional<std::string> line = reader.ReadLine();
        if (line && Contains(*line, album_marker, true)) return Field(*line, 2, "\"");
    }
    return std::nullopt;
}

// The page is read twice: line by line for the next-page link (only its
// presence counts), and item by item for the thumbnails. The fields of an item
// are examined up to its first empty one, so nothing after two ">" side by
// side is looked at.
WebshotsAlbumPage ParseWebshotsAlbumPage(std::string_view page, std::string_view thumbnail_prefix) {
    WebshotsAlbumPage album_page;
    PageReader lines(page);
    while (!album_page.has_next && !lines.AtEnd()) {
        const std::optional<std::string> line = lines.ReadLine();
        album_page.has_next = line && Contains(*line, kNextPageMarker, true);
    }
    const std::string thumbnail_marker = std::string(kStyleUrl) + std::string(thumbnail_prefix);
    PageReader items(page);
    while (!items.AtEnd()) {
        const std::optional<std::string> item = items.ReadItem();
        if (!item) break;
        for (FieldCursor field(*item, '>');; field.Advance()) {
            const std::size_t at = Find(field.Field(), thumbnail_marker);
            if (at != std::string_view::npos) album_page.pictures.push_back(PictureOf(field.Field(), at));
            if (field.NextField().empty()) break;
        }
    }
    return album_page;
}

ReaderEnd ReadWebshotsAlbum(AlbumRun& run, const std::string& typed_address) {
    std::string album_address = typed_address;
    if (Contains(album_address, std::string(kWebshotsSiteMarker) + "photo")) {
        run.Log("Searching for album source...");
        const std::optional<std::string> photo_page = run.FetchPage(album_address);
        const std::optional<std::string> album = photo_page ? ParseWebshotsAlbumSource(*photo_page) : std::nullopt;
        if (album) album_address = *album;
        run.Log(album ? "OK\r\n" : "not found.\r\n");
    }

    // Cut at the first "?" or "#": a fragment (as browsers copy addresses, or as
    // a photo page may name its album) is no part of a page address, and
    // "?start=" after one would never reach the server.
    const std::string album_base = Field(Field(album_address, 1, "?"), 1, "#");
    std::string page_address = album_base;

    // A next-page address already read in this run (a page none of whose
    // pictures was stored, so "start=" did not move) would bring that page back
    // for ever: the album ends there instead.
    std::set<std::string> pages_read;
    // The full-size addresses the album's pages listed so far: a page that
    // lists nothing new (a server that ignores "?start=" and answers every page
    // with the same pictures and a next link) ends the album, and its pictures
    // are not fetched again.
    std::unordered_set<std::string> listed;
    while (pages_read.insert(page_address).second) {
        // A page that cannot be fetched ends the album; nothing older is read in
        // its place.
        const std::optional<std::string> page = run.FetchPage(page_address);
        if (!page) break;
        const WebshotsAlbumPage album_page = ParseWebshotsAlbumPage(*page, run.RunSettings().webshots_thumbnail_prefix);
        if (!ListsSomethingNew(album_page.pictures, listed)) break;
        run.FetchPictures(album_page.pictures, &WebshotsFullSizeLookup, kWebshotsSmallestPicture);
        if (!album_page.has_next) break;
        // The next page starts after the pictures stored so far.
        page_address = album_base + "?start=" + std::to_string(run.Stored());
    }
    return ReaderEnd::AlbumDone;
}

}  // namespace gathrix
