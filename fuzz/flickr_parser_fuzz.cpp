// The Flickr parsers on the input as a set page and as a size or photo page,
// in memory. A set page parses the same with "\r\n" appended. Its next page is
// empty, or, on a page with "this-page" and "?page", the number it shows plus
// one: digits, no leading zero. Its pictures' addresses stand in the page in
// thumbnail order ("_o." possibly for "_s."), none left with "_s."; their photo
// links (fields of the thumbnail line) stand there in order too, and the photo
// path of each is the link up to the "/" of its first "/in/". No
// "setthumbs-indv", no pictures. An original is found exactly when the page
// holds "_o.jpg" in any case; it stands in the page, unquoted, and ends in
// "_o.jpg" unless three quotes in a row cut its item short. No set address
// holds "?" or "#"; that of an input without "/set-" or "/in/album-" is the
// input up to either, or, when that holds no "/sets/", the same with the
// "/albums/" that follows "/photos/USER" made "/sets/" (and a "with/..." after
// the ID's "/" gone).

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "download/sites/page_parsers.h"
#include "parser_checks.h"
#include "text/strings.h"

namespace {

using namespace gathrix;
using namespace gathrix::fuzz;

constexpr std::size_t npos = std::string_view::npos;

// The number before a number greater than 0 in decimal digits without a leading zero.
std::string NumberBefore(std::string number) {
    std::size_t i = number.size();
    while (number[--i] == '0') number[i] = '9';
    --number[i];
    if (number.size() > 1 && number[0] == '0') number.erase(0, 1);
    return number;
}

void CheckNextPage(std::string_view page, const std::string& next) {
    if (next.empty()) return;
    Check(Has(page, "this-page", true) && Has(page, "?page", true) && next[0] != '0');
    for (char c : next) Check(c >= '0' && c <= '9');
    Check(next == "1" || FindFrom(page, NumberBefore(next)) != npos);
}

void CheckPhotoPath(std::string_view link) {
    const std::string path = FlickrPhotoPath(link);
    const std::size_t in = FindFrom(link, "/in/");
    Check(in == npos ? path.empty() : path.size() == in + 1 && link.starts_with(path));
}

// A set address that differs from the typed one (up to its "?" or "#")
// without "/set-" or "/in/album-": the typed one holds no "/sets/", and the set
// address is it with one "/albums/" made "/sets/", after "/photos/" and a user
// name, and nothing else changed but a "with/..." after the "/" that ends the
// ID, which goes.
void CheckAlbumsMadeSets(std::string_view typed, std::string_view set) {
    Check(!Has(typed, "/sets/"));
    const std::size_t at = FindFrom(set, "/sets/");
    Check(at != npos && typed.substr(at, 8) == "/albums/");
    Check(set.substr(0, at) == typed.substr(0, at));
    const std::string_view id = set.substr(at + 6);
    const std::string_view typed_id = typed.substr(at + 8);
    if (id.size() != typed_id.size()) {
        Check(typed_id.starts_with(id) && id.find('/') == id.size() - 1 &&
              typed_id.substr(id.size()).starts_with("with/"));
    }
    Check(id == typed_id.substr(0, id.size()));
    Check(at + 6 < set.size() && set[at + 6] != '/');
    const std::size_t photos = FindFrom(set, "/photos/");
    Check(photos != npos && photos + 8 < at && set.find('/', photos + 8) == at);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > kMaxPage) return 0;
    const std::string page(reinterpret_cast<const char*>(data), size);

    const FlickrSetPage set_page = ParseFlickrSetPage(page);
    const FlickrSetPage longer = ParseFlickrSetPage(page + "\r\n");
    Check(longer.pictures == set_page.pictures && longer.next_page == set_page.next_page);
    CheckNextPage(page, set_page.next_page);
    Check(set_page.pictures.empty() || Has(page, "setthumbs-indv", true));
    for (const FoundPicture& picture : set_page.pictures) {
        Check(!Has(picture.address, "_s.") && !Has(picture.address, "\"") && !Has(picture.photo_link, ">"));
        CheckPhotoPath(Field(picture.photo_link, 2, "\""));
    }
    CheckInOrder(page, set_page.pictures, {"_s.", "_o."});
    CheckInOrder(page, set_page.pictures, {}, /*links=*/true);

    const std::optional<std::string> original = ParseFlickrOriginal(page);
    Check(original.has_value() == Has(page, "_o.jpg", true) && ParseFlickrOriginal(page + "\r\n") == original);
    if (original) {
        Check(!original->empty() && !Has(*original, "\"") && FindFrom(page, *original) != npos);
        const std::string end = original->substr(original->size() - std::min<std::size_t>(original->size(), 6));
        Check(CountOf(end, "_o.jpg", true) == 1 || Has(page, "\"\"\""));
    }

    CheckPhotoPath(page);
    const std::string set = FlickrSetAddress(page);
    Check(!Has(set, "?") && !Has(set, "#"));
    const std::string typed = page.substr(0, page.find_first_of("?#"));
    if (!Has(page, "/set-") && !Has(page, "/in/album-") && set != typed) CheckAlbumsMadeSets(typed, set);
    return 0;
}
