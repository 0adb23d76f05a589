// The Flickr original-size search: run after every picture of a Flickr set. A
// picture that came down too small is deleted and looked for again, first on
// the photo's original-size page ("sizes/o/"), then on the photo's own page;
// the first "_o.jpg" address found there is fetched under the same name.

#include <optional>
#include <string>
#include <string_view>

#include "download/sites/album_readers.h"
#include "download/sites/page_parsers.h"
#include "text/page_reader.h"
#include "text/strings.h"

namespace gathrix {

namespace {
constexpr std::string_view kOriginalMarker = "_o.jpg";
}  // namespace

std::optional<std::string> ParseFlickrOriginal(std::string_view page) {
    PageReader reader(page);
    const std::optional<std::string> item = NextItemHolding(reader, kOriginalMarker, true);
    if (!item) return std::nullopt;
    const std::size_t at = Find(*item, kOriginalMarker, true);
    return LastField(std::string_view(*item).substr(0, at + kOriginalMarker.size()), "\"");
}

std::string FlickrPhotoPath(std::string_view photo_link) {
    const std::size_t at = Find(photo_link, "/in/");
    return at == std::string_view::npos ? std::string() : std::string(photo_link.substr(0, at + 1));
}

FetchResult SearchFlickrOriginal(AlbumRun& run, const std::string& link_field, FetchResult fetched) {
    const std::string photo_path = FlickrPhotoPath(Field(link_field, 2, "\""));
    const std::string base = run.RunSettings().flickr_base_url + photo_path;
    return RepairSmallPicture(
        run, std::move(fetched), kFlickrSmallestPicture, FailureKind::TooSmallNoOriginal,
        [&run, &base]() -> std::optional<std::string> {
            // The first try asks the photo's original-size page, the
            // second the photo's page itself.
            const std::optional<std::string> sizes = run.FetchPage(base + "sizes/o/", PageRole::Lookup);
            if (std::optional<std::string> original = sizes ? ParseFlickrOriginal(*sizes) : std::nullopt) {
                return original;
            }
            run.Log("not found.\r\n");
            run.Log("Second try in progress...");
            const std::optional<std::string> photo = run.FetchPage(base, PageRole::Lookup);
            return photo ? ParseFlickrOriginal(*photo) : std::nullopt;
        });
}

}  // namespace gathrix
