// Picasa Web Albums: the whole album comes from one page, which embeds the album
// feed as script data. The feed starts after the item that holds "feedPreload:";
// each picture is announced by an item holding "content$src", and the item after
// it is the picture's address with one character in front (the colon of
// "content$src":"http://..."), quoted or not.

#include <optional>
#include <string>
#include <vector>

#include "download/album_readers.h"
#include "download/file_fetcher.h"
#include "download/page_fetch.h"
#include "text/strings.h"

namespace gathrix {

namespace {
constexpr int kPageNumber = 1;  // the album page

// The album page: the address up to its first "photo#" (a link to one photo of
// the album), or the whole address.
std::string PageAddress(const std::string& album_address) {
    const std::size_t at = Find(album_address, "photo#");
    return at == std::string::npos ? album_address : album_address.substr(0, at);
}

// The address item without its double quotes and without its first character.
std::string PictureAddress(const std::string& address_item) {
    const std::string unquoted = ReplaceAll(address_item, "\"", "");
    return unquoted.size() > 1 ? unquoted.substr(1) : std::string();
}

// The picture addresses of the album page, in feed order.
std::vector<FoundPicture> FeedPictures(PageFiles& files) {
    std::vector<FoundPicture> pictures;
    bool feed_found = false;
    do {
        const std::optional<std::string> item = files.ReadItem(kPageNumber);
        feed_found = item && Contains(*item, "feedPreload:");
    } while (!feed_found && !files.AtEnd(kPageNumber));
    if (!feed_found) return pictures;

    while (!files.AtEnd(kPageNumber)) {
        const std::optional<std::string> item = files.ReadItem(kPageNumber);
        if (!item || !Contains(*item, "content$src")) continue;
        // A key at the very end of the page has no address after it.
        const std::optional<std::string> address_item = files.ReadItem(kPageNumber);
        if (!address_item) continue;
        pictures.push_back({PictureAddress(*address_item), ""});
    }
    return pictures;
}
}  // namespace

ReaderEnd ReadPicasaAlbum(RunState& run) {
    std::vector<FoundPicture> pictures;
    if (const std::optional<net::SavedPage> page = FetchPage(run, PageAddress(run.album_address))) {
        if (run.files.Open(page->Path(), OpenMode::Input, kPageNumber)) pictures = FeedPictures(run.files);
        run.files.Close(kPageNumber);
    }  // the page is gone once read; a page that could not be fetched holds no pictures
    run.file_counter = 0;

    FetchPictures(run, pictures);
    return ReaderEnd::AlbumDone;
}

}  // namespace gathrix
