// The Picasa page parser on the input as an album page, in memory. A picture is
// the item after a "content$src" key of the feed, without its double quotes
// and its first character: so its address stands in the page with the quotes
// taken out, in feed order; there are no more pictures than keys, none without
// the feed marker, and none lost when "\r\n" is appended. The page address of
// the input as an album address is the input up to its first "photo#".

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "download/sites/page_parsers.h"
#include "parser_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace gathrix;
    using namespace gathrix::fuzz;
    if (size > kMaxPage) return 0;
    const std::string page(reinterpret_cast<const char*>(data), size);

    const std::vector<FoundPicture> pictures = ParsePicasaPage(page);
    Check(pictures.size() <= CountOf(page, "content$src") && (pictures.empty() || Has(page, "feedPreload:")));
    for (const FoundPicture& picture : pictures) Check(!Has(picture.address, "\"") && picture.photo_link.empty());
    CheckInOrder(WithoutQuotes(page), pictures);
    CheckStillFound(pictures, ParsePicasaPage(page + "\r\n"));

    const std::string page_address = PicasaPageAddress(page);
    Check(page.starts_with(page_address) && !Has(page_address, "photo#"));
    Check(page_address.size() == size || page.substr(page_address.size()).starts_with("photo#"));
    return 0;
}
