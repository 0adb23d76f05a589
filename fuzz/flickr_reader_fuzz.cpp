// The Flickr set reader and the original-size search on pages made of the fuzz
// input. Cut at "<!--next page-->", the input gives the set's pages, the size
// pages ("sizes/o/") and the photo pages, in that order; a part that is not
// there is the first one again, and an empty part is a page that is missing
// (404). Only the first eight size or photo pages asked for are served, so
// that a page of many thumbnails is not read again for each of them; later
// ones are missing. Every address on another host than the set's is a picture.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "reader_harness.h"
#include "text/strings.h"

namespace {

constexpr std::string_view kPageHost = "www.flickr.com";
constexpr std::string_view kSetPath = "/photos/someone/sets/72157600000000000/";
constexpr std::string_view kSizePage = "sizes/o/";
constexpr int kLookupPages = 8;

bool EndsWithOriginal(std::string_view address) {
    constexpr std::string_view kOriginal = "_o.jpg";
    return address.size() >= kOriginal.size() && gathrix::InStr(address.substr(address.size() - kOriginal.size()),
                                                                kOriginal, true) == 1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace gathrix::fuzz;
    if (size > kMaxInput) return 0;
    const std::string input(reinterpret_cast<const char*>(data), size);
    const Pages pages(input, 3);

    Album album;
    const std::string set = "http://" + std::string(kPageHost) + std::string(kSetPath);
    const std::string base = album.settings.flickr_base_url;
    album.address = set;
    album.settings.jobs = JobsFor(input);
    auto lookups = std::make_shared<std::atomic<int>>(0);
    album.respond = [pages, lookups](const std::string& host, const std::string& target) {
        if (HostName(host) != kPageHost) return PictureAnswer(target);
        if (target == kSetPath || target.starts_with(std::string(kSetPath) + "?page=")) return PageAnswer(pages[0]);
        if (++*lookups > kLookupPages) return PageAnswer("");
        return PageAnswer(pages[target.ends_with(kSizePage) ? 1 : 2]);
    };
    album.made_from_pages = [set, base](const std::string& address) {
        // The set's pages: its address, then with "?page=" and a number.
        if (address == set || (address.starts_with(set + "?page=") && AllDigits(address.substr(set.size() + 6)))) {
            return true;
        }
        // Size and photo pages: the base and a photo link up to its "/in/".
        if (address.starts_with(base)) {
            auto photo_path = [](std::string_view path) {
                return path.empty() || (path.ends_with("/") && Served(std::string(path) + "in/"));
            };
            const std::string_view path = std::string_view(address).substr(base.size());
            if (photo_path(path)) return true;
            if (path.ends_with(kSizePage) && photo_path(path.substr(0, path.size() - kSizePage.size()))) return true;
        }
        // Pictures: thumbnails with "_s." made "_o.".
        if (Served(address, Rewrite{"_s.", "_o."})) return true;
        // Originals: an "_o.jpg" address of a size or photo page.
        return EndsWithOriginal(address) && Served(address);
    };
    RunAlbum(std::move(album));
    return 0;
}
