// The Webshots photo page and full-size page parsers on the input as either
// page, in memory. An album source is found exactly when a line names an album
// ("webshots.com/album" in any case), a full-size picture exactly when the
// page holds "so.addVariable('"; each stands in the page, without a double
// quote or a single quote respectively, and "\r\n" appended changes neither
// (the picture may only grow, when its item runs to the end of the page).

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "download/settings.h"
#include "download/sites/page_parsers.h"
#include "parser_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace gathrix;
    using namespace gathrix::fuzz;
    constexpr std::size_t npos = std::string_view::npos;
    if (size > kMaxPage) return 0;
    const std::string page(reinterpret_cast<const char*>(data), size);
    const std::string longer_page = page + "\r\n";

    const std::optional<std::string> album = ParseWebshotsAlbumSource(page);
    Check(album.has_value() == Has(page, std::string(kWebshotsSiteMarker) + "album", true));
    Check(ParseWebshotsAlbumSource(longer_page) == album);
    if (album) Check(!Has(*album, "\"") && FindFrom(page, *album) != npos);

    const std::optional<std::string> picture = ParseWebshotsFullSizePage(page);
    const std::optional<std::string> longer = ParseWebshotsFullSizePage(longer_page);
    Check(picture.has_value() == Has(page, "so.addVariable('") && longer.has_value() == picture.has_value());
    if (picture) Check(longer->starts_with(*picture) && !Has(*picture, "'") && FindFrom(page, *picture) != npos);
    return 0;
}
