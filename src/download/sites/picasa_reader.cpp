// Picasa Web Albums: the whole album comes from one page, which embeds the album
// feed as script data. The feed starts after the item that holds "feedPreload:";
// each picture is announced by an item holding "content$src", and the item after
// it is the picture's address with one character in front (the colon of
// "content$src":"http://..."), quoted or not.

#include <optional>
#include <string>
#include <vector>

#include "download/sites/album_readers.h"
#include "download/sites/page_parsers.h"
#include "text/page_reader.h"
#include "text/strings.h"

namespace gathrix {

namespace {
// The address item without its double quotes and without its first character.
std::string PictureAddress(const std::string& address_item) {
    const std::string unquoted = ReplaceAll(address_item, "\"", "");
    return unquoted.size() > 1 ? unquoted.substr(1) : std::string();
}
}  // namespace

std::string PicasaPageAddress(const std::string& album_address) {
    const std::size_t at = Find(album_address, "photo#");
    return at == std::string::npos ? album_address : album_address.substr(0, at);
}

std::vector<FoundPicture> ParsePicasaPage(std::string_view page) {
    std::vector<FoundPicture> pictures;
    PageReader reader(page);
    bool feed_found = false;
    do {
        const std::optional<std::string> item = reader.ReadItem();
        feed_found = item && Contains(*item, "feedPreload:");
    } while (!feed_found && !reader.AtEnd());
    if (!feed_found) return pictures;

    while (!reader.AtEnd()) {
        const std::optional<std::string> item = reader.ReadItem();
        if (!item || !Contains(*item, "content$src")) continue;
        // A key at the very end of the page has no address after it.
        const std::optional<std::string> address_item = reader.ReadItem();
        if (!address_item) continue;
        pictures.push_back({PictureAddress(*address_item), ""});
    }
    return pictures;
}

ReaderEnd ReadPicasaAlbum(AlbumRun& run, const std::string& album_address) {
    // A page that could not be fetched holds no pictures.
    const std::optional<std::string> page = run.FetchPage(PicasaPageAddress(album_address));
    run.FetchPictures(page ? ParsePicasaPage(*page) : std::vector<FoundPicture>());
    return ReaderEnd::AlbumDone;
}

}  // namespace gathrix
