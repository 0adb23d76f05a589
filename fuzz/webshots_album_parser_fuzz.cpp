// The Webshots album page parser on the input as an album page, in memory,
// with the engine's thumbnail prefix. A page has a next link exactly when it
// holds rel="next" in any case, and keeps it and all its pictures when "\r\n"
// is appended. Each picture's address starts with the prefix and stands in the
// page with its double quotes taken out, in page order ("_fs." possibly for
// "_th."), none left with "_th.", a quote or ")"; there are no more pictures
// than "url(" styles holding the prefix, and the photo links stand in the page
// in order.

#include <cstddef>
#include <cstdint>
#include <string>

#include "download/settings.h"
#include "download/sites/page_parsers.h"
#include "parser_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace gathrix;
    using namespace gathrix::fuzz;
    if (size > kMaxPage) return 0;
    const std::string page(reinterpret_cast<const char*>(data), size);
    static const std::string prefix = Settings().webshots_thumbnail_prefix;

    const WebshotsAlbumPage album_page = ParseWebshotsAlbumPage(page, prefix);
    const WebshotsAlbumPage longer = ParseWebshotsAlbumPage(page + "\r\n", prefix);
    Check(album_page.has_next == Has(page, "rel=\"next\"", true) && longer.has_next == album_page.has_next);
    CheckStillFound(album_page.pictures, longer.pictures);
    Check(album_page.pictures.size() <= CountOf(page, "url(" + prefix));
    for (const FoundPicture& picture : album_page.pictures) {
        const std::string& address = picture.address;
        Check(address.starts_with(prefix) && !Has(address, "_th.") && !Has(address, "\"") && !Has(address, ")"));
    }
    CheckInOrder(WithoutQuotes(page), album_page.pictures, {"_th.", "_fs."});
    CheckInOrder(page, album_page.pictures, {}, /*links=*/true);
    return 0;
}
