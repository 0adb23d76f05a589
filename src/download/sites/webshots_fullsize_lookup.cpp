// The Webshots full-size lookup: the reader takes each picture from an address
// it makes out of the thumbnail's ("_th." becomes "_fs."), and that address
// sometimes answers with a tiny stand-in instead of the picture. Such a picture
// is fetched again from the address that the photo's full-size page passes to
// its viewer script.

#include <optional>
#include <string>
#include <string_view>

#include "download/sites/album_readers.h"
#include "download/sites/page_parsers.h"
#include "text/page_reader.h"
#include "text/strings.h"

namespace gathrix {

std::optional<std::string> ParseWebshotsFullSizePage(std::string_view page) {
    // The full-size page hands the picture to its viewer as the second
    // argument of a call like so.addVariable('src', 'http://.../photo_fs.jpg').
    constexpr std::string_view kScriptMarker = "so.addVariable('";
    PageReader reader(page);
    if (!NextItemHolding(reader, kScriptMarker)) return std::nullopt;
    // A marker in the page's last item names nothing: the fetch of the empty
    // address then fails and says so in its own line.
    return Field(reader.ReadItem().value_or(std::string()), 2, "'");
}

FetchResult WebshotsFullSizeLookup(AlbumRun& run, const std::string& photo_link, FetchResult fetched) {
    const std::string page_address =
        run.RunSettings().webshots_fullsize_base + "/photo/fullsize/" + LastField(photo_link, "/");
    return RepairSmallPicture(run, std::move(fetched), kWebshotsSmallestPicture, FailureKind::TooSmallNoFullSize,
                              [&run, &page_address]() -> std::optional<std::string> {
                                  const std::optional<std::string> page = run.FetchPage(page_address, PageRole::Lookup);
                                  return page ? ParseWebshotsFullSizePage(*page) : std::nullopt;
                              });
}

}  // namespace gathrix
