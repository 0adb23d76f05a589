// The Webshots album reader and the full-size lookup on pages made of the fuzz
// input. Cut at "<!--next page-->", the input gives the album's pages, the
// full-size pages and a photo page, in that order; a part that is not there is
// the first one again, and an empty part is a page that is missing (404).
// With a photo page, the address typed is that photo's, so the album is first
// looked for there. Every album page is the same page, so the album must end
// by itself at the latest on its third page: the second brings nothing new
// (or comes back to the address of the first). The fifth page and any after
// it would end the album; only the first eight full-size pages asked for are
// served (later ones are missing), so that a page of many thumbnails is not
// read again for each.
// Every address on another host than the pages' is a picture.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "reader_harness.h"
#include "text/strings.h"

namespace {

constexpr std::string_view kPageHost = "community.webshots.com";
constexpr std::string_view kAlbumPath = "/album/987654";
constexpr std::string_view kPhotoPath = "/photo/2001/3001?vhost=someone";
constexpr std::string_view kFullSizePath = "/photo/fullsize/";
constexpr std::string_view kFullSizeParent = "/photo/";
constexpr int kAlbumPages = 4;
constexpr int kFullSizePages = 8;

// A page's address: a base and nothing, or "?start=" and a number.
bool PageOf(std::string_view address, std::string& base) {
    const std::size_t query = address.find('?');
    base = std::string(address.substr(0, query));
    if (query == std::string_view::npos) return true;
    std::string_view start = address.substr(query + 1);
    if (!start.starts_with("start=")) return false;
    start.remove_prefix(6);
    if (start.starts_with("-")) start.remove_prefix(1);
    return gathrix::fuzz::AllDigits(start);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace gathrix::fuzz;
    if (size > kMaxInput) return 0;
    const std::string input(reinterpret_cast<const char*>(data), size);
    const Pages pages(input, 3);
    const bool from_photo = pages.Count() == 3;

    Album album;
    const std::string host = "http://" + std::string(kPageHost);
    album.address = host + std::string(from_photo ? kPhotoPath : kAlbumPath);
    album.settings.jobs = JobsFor(input);
    auto album_pages = std::make_shared<std::atomic<int>>(0);
    auto full_size_pages = std::make_shared<std::atomic<int>>(0);
    album.respond = [pages, album_pages, full_size_pages](const std::string& host_header, const std::string& target) {
        if (HostName(host_header) != kPageHost) return PictureAnswer(target);
        // A full-size page; also one whose photo link held "..", which the
        // HTTP library takes out of the path before it is sent (".../fullsize/..?x"
        // arrives as "/photo/?x").
        if (target.starts_with(kFullSizePath) || (target.starts_with(kFullSizeParent) && target != kPhotoPath))
            return PageAnswer(++*full_size_pages > kFullSizePages ? "" : pages[1]);
        if (target == kPhotoPath) return PageAnswer(pages[2]);
        if (++*album_pages > kAlbumPages) return PageAnswer("<p>The end</p>\r\n");
        return PageAnswer(pages[0]);
    };
    const std::string typed = album.address;
    const std::string prefix = album.settings.webshots_thumbnail_prefix;
    const std::string full_size = album.settings.webshots_fullsize_base + std::string(kFullSizePath);
    album.made_from_pages = [typed, prefix, full_size](const std::string& address) {
        if (address == typed) return true;
        // Full-size pages: the base and the last part of a photo link.
        if (address.starts_with(full_size) && Served(std::string_view(address).substr(full_size.size()))) return true;
        // Pictures: a thumbnail style's address without its double quotes,
        // "_th." made "_fs.".
        if (address.starts_with(prefix) && Served(address, Rewrite{"_th.", "_fs."}, /*quotes_dropped=*/true)) {
            return true;
        }
        // The album's pages: the album typed or named by the photo page, or
        // the photo address itself, cut at "?"; then with "?start=".
        std::string base;
        if (PageOf(address, base) && !base.empty() && (base == gathrix::Field(typed, 1, "?") || Served(base))) {
            return true;
        }
        // A full-size picture: named by the script of a full-size page.
        return Served(address);
    };
    RunAlbum(std::move(album));
    Check(*album_pages <= 3, std::to_string(album_pages->load()) + " album pages of one and the same page");
    return 0;
}
