// The Flickr set reader and the original-size search on pages made of the fuzz
// input. Cut at "<!--next page-->", the input gives the set's pages, the size
// pages ("sizes/o/") and the photo pages, in that order; a part that is not
// there is the first one again, and an empty part is a page that is missing
// (404). Only the first eight size or photo pages asked for are served, so
// that a page of many thumbnails is not read again for each of them; later
// ones are missing. Every address on another host than the set's is a picture.
// In a set page, "{n}" stands for the number of the page asked for, so that
// pages can lead on for ever; only the first 64 set pages are served. However
// the pages lead on, the set must end within eleven pages of one that listed a
// new picture: ten empty pages in a row end it, and so does a page of pictures
// listed before.

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <string_view>

#include "reader_harness.h"
#include "text/strings.h"

namespace {

constexpr std::string_view kPageHost = "www.flickr.com";
constexpr std::string_view kSetPath = "/photos/someone/sets/72157600000000000/";
constexpr std::string_view kSizePage = "sizes/o/";
constexpr int kLookupPages = 8;
constexpr int kSetPages = 64;

// What the set's server saw: set pages, and the pictures asked for.
struct Seen {
    std::atomic<int> set_pages{0};
    std::mutex mutex;
    std::set<std::string> pictures;
};

bool EndsWithOriginal(std::string_view address) {
    constexpr std::string_view kOriginal = "_o.jpg";
    return address.size() >= kOriginal.size() &&
           gathrix::Find(address.substr(address.size() - kOriginal.size()), kOriginal, true) == 0;
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
    auto seen = std::make_shared<Seen>();
    album.respond = [pages, lookups, seen](const std::string& host, const std::string& target) {
        if (HostName(host) != kPageHost) {
            const std::lock_guard lock(seen->mutex);
            seen->pictures.insert(target);
            return PictureAnswer(target);
        }
        const std::string page_query = std::string(kSetPath) + "?page=";
        if (target == kSetPath || target.starts_with(page_query)) {
            if (++seen->set_pages > kSetPages) return PageAnswer("");
            const std::string number = target == kSetPath ? "1" : target.substr(page_query.size());
            return PageAnswer(gathrix::ReplaceAll(pages[0], "{n}", number));
        }
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
    const int bound = 11 * (static_cast<int>(seen->pictures.size()) + 1) + 1;
    Check(seen->set_pages <= std::min(bound, kSetPages),
          std::to_string(seen->set_pages) + " set pages for " + std::to_string(seen->pictures.size()) + " pictures");
    return 0;
}
