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

#include "download/album_readers.h"
#include "download/file_fetcher.h"
#include "download/page_fetch.h"
#include "download/webshots_fullsize_lookup.h"
#include "text/strings.h"

namespace gathrix {

namespace {
constexpr int kPageNumber = 1;
constexpr const char* kNextPageMarker = "rel=\"next\"";
constexpr std::string_view kStyleUrl = "url(";

// The album named by the photo page at photo_address, or nullopt when the page
// cannot be fetched or names none.
std::optional<std::string> AlbumSource(RunState& run, const std::string& photo_address) {
    const std::optional<net::SavedPage> page = FetchPage(run, photo_address);
    if (!page) return std::nullopt;
    const std::string album_marker = std::string(kWebshotsSiteMarker) + "album";
    PageFiles& files = run.files;
    std::optional<std::string> album;
    files.Open(page->Path(), OpenMode::Input, kPageNumber);
    while (!album && !files.AtEnd(kPageNumber)) {
        const std::optional<std::string> line = files.ReadLine(kPageNumber);
        if (line && Contains(*line, album_marker, true)) album = Field(*line, 2, "\"");
    }
    files.CloseAll();
    return album;
}

// Whether some line of the saved page links to a next page.
bool HasNextPage(PageFiles& files, const net::SavedPage& page) {
    bool found = false;
    files.Open(page.Path(), OpenMode::Input, kPageNumber);
    while (!found && !files.AtEnd(kPageNumber)) {
        const std::optional<std::string> line = files.ReadLine(kPageNumber);
        found = line && Contains(*line, kNextPageMarker, true);
    }
    files.CloseAll();
    return found;
}

// The picture of a thumbnail field whose style url starts at marker_at (0-based):
// the thumbnail address with "_th." made "_fs.", and the photo's own page.
FoundPicture PictureOf(std::string_view field, std::size_t marker_at) {
    std::string address = Field(field.substr(marker_at + kStyleUrl.size()), 1, ")");
    address = ReplaceAll(ReplaceAll(address, "\"", ""), "_th.", "_fs.");
    return {address, Field(field, 2, "\"")};
}

// The pictures of the saved page, in page order. The fields of an item are
// examined up to its first empty one, so nothing after two ">" side by side is
// looked at.
std::vector<FoundPicture> PicturesOf(RunState& run, const net::SavedPage& page) {
    const std::string thumbnail_marker = std::string(kStyleUrl) + run.settings.webshots_thumbnail_prefix;
    std::vector<FoundPicture> pictures;
    PageFiles& files = run.files;
    files.Open(page.Path(), OpenMode::Binary, kPageNumber);
    while (!files.AtEnd(kPageNumber)) {
        const std::optional<std::string> item = files.ReadItem(kPageNumber);
        if (!item) break;
        for (FieldCursor field(*item, '>');; field.Advance()) {
            const std::size_t at = Find(field.Field(), thumbnail_marker);
            if (at != std::string_view::npos) pictures.push_back(PictureOf(field.Field(), at));
            if (field.NextField().empty()) break;
        }
    }
    files.Close(kPageNumber);
    return pictures;
}

}  // namespace

ReaderEnd ReadWebshotsAlbum(RunState& run) {
    if (Contains(run.album_address, std::string(kWebshotsSiteMarker) + "photo")) {
        run.front_end.AppendLog("Searching for album source...");
        const std::optional<std::string> album = AlbumSource(run, run.album_address);
        if (album) run.album_address = *album;
        run.front_end.AppendLog(album ? "OK\r\n" : "not found.\r\n");
    }

    // Cut at the first "?" or "#": a fragment (as browsers copy addresses, or as
    // a photo page may name its album) is no part of a page address, and
    // "?start=" after one would never reach the server.
    run.album_address = Field(Field(run.album_address, 1, "?"), 1, "#");
    const std::string album_base = run.album_address;
    std::string page_address = album_base;
    run.file_counter = 0;

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
        // its place. The page is gone as soon as it has been read.
        std::optional<net::SavedPage> page = FetchPage(run, page_address);
        if (!page) break;
        const bool next_page = HasNextPage(run.files, *page);
        const std::vector<FoundPicture> pictures = PicturesOf(run, *page);
        page.reset();
        if (!ListsSomethingNew(pictures, listed)) break;
        FetchPictures(run, pictures, &WebshotsFullSizeLookup);
        if (!next_page) break;
        page_address = album_base + "?start=" + std::to_string(run.file_counter);
    }
    return ReaderEnd::AlbumDone;
}

}  // namespace gathrix
