// Flickr photo sets: the set is read page by page. A page that has further
// pages carries, on one line, an element marked "this-page" holding the page's
// number and, after it, links with "?page"; the next page is the set address
// with "?page=" and that number plus one. All thumbnails of a page stand on one
// line from "setthumbs-indv" on: split at ">", a thumbnail is an image field
// (with "img src=" and ".jpg") whose first double-quoted text is the thumbnail
// address, "_s." standing before its extension, and the field before it links
// to the photo's own page. "_s." becomes "_o." for the picture at original size;
// pictures that still come down too small go to the original-size search.

#include <charconv>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

#include "download/sites/album_readers.h"
#include "download/sites/page_parsers.h"
#include "text/page_reader.h"
#include "text/strings.h"

namespace gathrix {

namespace {

// A set ends after this many pages in a row without a picture (a server that
// leads from one empty page to the next for ever), or at a page number longer
// than this many digits; a single empty page inside a set is read past.
constexpr int kMostEmptyPagesInARow = 10;
constexpr std::size_t kMostPageNumberDigits = 9;

// The page number after the one a page shows: the whole number at the start of
// the shown text (0 when it does not begin with digits; blanks before them are
// passed over) plus one, in decimal digits. Counted on the digits themselves, so
// a number of any length gives the next one.
std::string NextPageNumber(std::string_view shown) {
    std::size_t begin = shown.find_first_not_of(" \t");
    if (begin == std::string_view::npos) begin = shown.size();
    std::size_t end = begin;
    while (end < shown.size() && shown[end] >= '0' && shown[end] <= '9') ++end;
    std::string digits(shown.substr(begin, end - begin));
    const std::size_t first_nonzero = digits.find_first_not_of('0');
    digits.erase(0, first_nonzero == std::string::npos ? digits.size() : first_nonzero);

    for (std::size_t i = digits.size(); i-- > 0;) {
        if (digits[i] != '9') {
            ++digits[i];
            return digits;
        }
        digits[i] = '0';
    }
    return "1" + digits;
}

// The next-page step of one line: when the line holds "this-page" and, after it,
// "?page" (both in any case), the number shown after "this-page" (after its
// first ">", before the next "<") plus one. nullopt for any other line.
std::optional<std::string> NextPageOnLine(std::string_view line) {
    const std::size_t at = Find(line, "this-page", true);
    if (at == std::string_view::npos) return std::nullopt;
    const std::string_view rest = line.substr(at);
    if (!Contains(rest, "?page", true)) return std::nullopt;
    const std::string number_text = Field(rest, 1, "<");
    return NextPageNumber(Field(number_text, 2, ">"));
}

// The pictures of a thumbnail line in the order of their thumbnails, walking its
// fields up to the first empty one (the first field is always looked at): each
// is its thumbnail address with every "_s." made "_o.", with the field before
// its image field (the one holding the photo's link) for the original-size
// search.
std::vector<FoundPicture> PicturesOf(std::string_view thumbnail_line) {
    std::vector<FoundPicture> pictures;
    FieldCursor field(thumbnail_line, '>');
    for (;;) {
        if (Contains(field.Field(), "img src=", true) && Contains(field.Field(), ".jpg", true)) {
            const std::string thumbnail_address = Field(field.Field(), 2, "\"");
            pictures.push_back({ReplaceAll(thumbnail_address, "_s.", "_o."), std::string(field.PreviousField())});
        }
        if (field.NextField().empty()) return pictures;
        field.Advance();
    }
}

// The "/sets/" form of an albums address (".../photos/USER/albums/ID...", as
// the site names its sets today), whose "albums" becomes "sets": only for an
// address that holds no "/sets/" and whose first "/photos/" is followed by a
// user name, "albums" and an ID, none of them empty. A photo of the album
// (".../albums/ID/with/PHOTO...", what the address bar shows once a photo of
// it is clicked) is the album: everything after the "/" that ends the ID goes.
// The address as it is otherwise: an album list (".../photos/USER/albums")
// stays what it was.
std::string SetsFormOfAlbums(std::string address) {
    if (Contains(address, "/sets/")) return address;
    const std::size_t photos_at = Find(address, "/photos/");
    if (photos_at == std::string::npos) return address;
    const std::size_t user_at = photos_at + 8;
    const std::size_t slash = address.find('/', user_at);
    if (slash == std::string::npos || slash == user_at) return address;
    const std::string_view rest = std::string_view(address).substr(slash);
    if (!rest.starts_with("/albums/") || rest.size() == 8 || rest[8] == '/') return address;
    const std::size_t id_end = address.find('/', slash + 8);
    if (id_end != std::string::npos && std::string_view(address).substr(id_end).starts_with("/with/")) {
        address.erase(id_end + 1);
    }
    return address.replace(slash + 1, 6, "sets");
}

// Where the number of a set begins in an address of the "/set-" form
// (".../photos/USER/set-NUMBER", ".../PHOTO/in/set-NUMBER") or of its albums
// form (".../PHOTO/in/album-NUMBER"): after the first "/set-", or without one,
// after the first "/in/album-". npos for neither.
std::size_t SetNumberAt(std::string_view address) {
    if (const std::size_t set_at = Find(address, "/set-"); set_at != std::string_view::npos) return set_at + 5;
    if (const std::size_t album_at = Find(address, "/in/album-"); album_at != std::string_view::npos) {
        return album_at + 10;
    }
    return std::string_view::npos;
}

}  // namespace

// Normalises a set address once: everything from the first "?" or "#" on goes
// (a fragment, as browsers copy it, is not part of the page), the "/set-" form
// (".../photos/USER/set-NUMBER") becomes the "/sets/" form
// (".../photos/USER/sets/NUMBER"), and so do a photo in an album
// (".../photos/USER/PHOTO/in/album-NUMBER") and an albums address
// (".../photos/USER/albums/NUMBER").
std::string FlickrSetAddress(std::string_view album_address) {
    std::string address = Field(Field(album_address, 1, "?"), 1, "#");
    const std::size_t number_at = SetNumberAt(address);
    if (number_at == std::string::npos) return SetsFormOfAlbums(std::move(address));

    const std::string set_part = address.substr(number_at);
    // The "/" that ends the user name: the first one after "/photos/", or
    // without "/photos/" the first from the eighth character on (past "http://").
    const std::size_t photos_at = Find(address, "/photos/");
    const std::size_t search_from = photos_at == std::string::npos ? 7 : photos_at + 8;
    const std::size_t slash = search_from < address.size() ? address.find('/', search_from) : std::string::npos;
    if (slash == std::string::npos) return "sets/" + set_part;
    return address.substr(0, slash + 1) + "sets/" + set_part;
}

// The first line that names a next page gives it, and the first line holding
// "setthumbs-indv" (in any case) holds the thumbnails, from that marker on; the
// page is read no further once both are found.
FlickrSetPage ParseFlickrSetPage(std::string_view page) {
    FlickrSetPage set_page;
    PageReader reader(page);
    bool next_found = false;
    std::optional<std::string> thumbnail_line;
    std::size_t thumbnails_at = 0;
    do {
        std::optional<std::string> line = reader.ReadLine();
        if (!line) break;
        if (!next_found) {
            if (std::optional<std::string> number = NextPageOnLine(*line)) {
                set_page.next_page = std::move(*number);
                next_found = true;
            }
        }
        if (!thumbnail_line) {
            const std::size_t at = Find(*line, "setthumbs-indv", true);
            if (at != std::string::npos) {
                thumbnail_line = std::move(*line);
                thumbnails_at = at;
            }
        }
    } while (!(next_found && thumbnail_line) && !reader.AtEnd());
    set_page.pictures =
        PicturesOf(thumbnail_line ? std::string_view(*thumbnail_line).substr(thumbnails_at) : std::string_view());
    return set_page;
}

ReaderEnd ReadFlickrSet(AlbumRun& run, const std::string& typed_address) {
    const std::string set_address = FlickrSetAddress(typed_address);
    std::string page_address = set_address;
    // The numbers of the pages read in this run (the first page, addressed
    // without a query, is page 1): a set whose pages lead back to one of them
    // ends there instead of going round for ever.
    std::unordered_set<std::uint32_t> pages_read{1};
    int empty_in_a_row = 0;
    // The pictures earlier pages listed: a page that lists nothing new (a
    // server that answers every page number with the same thumbnails) ends the
    // set, as Webshots albums end.
    std::unordered_set<std::string> listed;

    for (;;) {
        if (!Contains(page_address, "/sets/")) {
            run.Events().Message("Only image sets are accepted !", "Rejected", BoxIcon::Critical);
            return ReaderEnd::Rejected;
        }

        // A page that cannot be fetched ends the set: there is nothing of it to
        // read, and no earlier page stands in for it.
        const std::optional<std::string> page = run.FetchPage(page_address);
        if (!page) break;
        const FlickrSetPage set_page = ParseFlickrSetPage(*page);
        empty_in_a_row = set_page.pictures.empty() ? empty_in_a_row + 1 : 0;
        if (!ListsSomethingNew(set_page.pictures, listed)) break;
        run.FetchPictures(set_page.pictures, &SearchFlickrOriginal, kFlickrSmallestPicture);

        const std::string& next = set_page.next_page;
        if (next.empty() || next.size() > kMostPageNumberDigits || empty_in_a_row >= kMostEmptyPagesInARow) break;
        std::uint32_t number = 0;
        std::from_chars(next.data(), next.data() + next.size(), number);
        if (!pages_read.insert(number).second) break;
        // Every page address is the set address with the page's number.
        page_address = set_address + "?page=" + next;
        run.Events().LogCleared();
    }
    return ReaderEnd::AlbumDone;
}

}  // namespace gathrix
