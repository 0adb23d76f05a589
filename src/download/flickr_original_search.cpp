#include "download/flickr_original_search.h"

#include <optional>
#include <string>

#include "download/file_fetcher.h"
#include "download/page_fetch.h"
#include "download/size_check.h"
#include "text/page_files.h"
#include "text/strings.h"

namespace gathrix {

namespace {

// Size pages and photo pages are read through file number 4.
constexpr int kSizePageNumber = 4;
constexpr std::string_view kOriginalMarker = "_o.jpg";

// Fetches a size page (or photo page) and returns the address of the first
// original it names: the first item holding "_o.jpg" in any case, up to and
// including that marker, and of that the text after its last double quote.
// nullopt when the page cannot be fetched or names no original. The page is
// gone again when this returns.
std::optional<std::string> OriginalAddressOn(RunState& run, const std::string& page_address) {
    const std::optional<net::SavedPage> page = FetchPage(run, page_address, PageRole::Lookup);
    if (!page) return std::nullopt;

    PageFiles& files = run.files;
    if (!files.Open(page->Path(), OpenMode::Input, kSizePageNumber)) return std::nullopt;
    std::optional<std::string> original;
    do {
        const std::optional<std::string> item = files.ReadItem(kSizePageNumber);
        if (!item) break;
        const std::size_t at = Find(*item, kOriginalMarker, true);
        if (at != std::string::npos) {
            const std::string_view up_to_marker = std::string_view(*item).substr(0, at + kOriginalMarker.size());
            original = LastField(up_to_marker, "\"");
        }
    } while (!original && !files.AtEnd(kSizePageNumber));
    files.Close(kSizePageNumber);
    return original;
}

}  // namespace

std::string FlickrPhotoPath(std::string_view photo_link) {
    const std::size_t at = Find(photo_link, "/in/");
    return at == std::string_view::npos ? std::string() : std::string(photo_link.substr(0, at + 1));
}

bool SearchFlickrOriginal(RunState& run, const std::string& link_field, bool counted) {
    if (!DropSmallPicture(run, kFlickrSmallestPicture, counted)) return true;

    const std::string photo_path = FlickrPhotoPath(Field(link_field, 2, "\""));
    // The first try asks the photo's original-size page, the second the photo's
    // page itself.
    for (const bool second_try : {false, true}) {
        if (second_try) run.front_end.AppendLog("Second try in progress...");
        const std::string page_address = run.settings.flickr_base_url + photo_path + (second_try ? "" : "sizes/o/");
        if (const std::optional<std::string> original = OriginalAddressOn(run, page_address)) {
            run.front_end.AppendLog("succesful.\r\n");
            run.picture_address = *original;
            return FetchFile(run);  // same local name; not measured again
        }
        run.front_end.AppendLog("not found.\r\n");
    }
    // A picture that came down whole but too small: that is why it is missing.
    if (counted) run.last_failure = {FailureKind::TooSmallNoOriginal};
    return false;
}

}  // namespace gathrix
