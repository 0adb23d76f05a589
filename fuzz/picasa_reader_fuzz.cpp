// The Picasa album reader on an album page made of the fuzz input: the whole
// input is the album page; every other address is a picture.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "reader_harness.h"

namespace {

constexpr const char* kPageHost = "picasaweb.google.com";
constexpr const char* kAlbum = "http://picasaweb.google.com/someone/Summer2009";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace gathrix::fuzz;
    if (size > kMaxInput) return 0;
    // Shared: the server copies its responder for every request.
    const auto page = std::make_shared<const std::string>(reinterpret_cast<const char*>(data), size);

    Album album;
    album.address = kAlbum;
    album.settings.jobs = JobsFor(*page);
    album.respond = [page](const std::string& host, const std::string& target) {
        return HostName(host) == kPageHost ? PageAnswer(*page) : PictureAnswer(target);
    };
    // A picture address is the item after a "content$src" key without its
    // double quotes and its first character.
    album.made_from_pages = [](const std::string& address) {
        return address == kAlbum || Served(address, std::nullopt, /*quotes_dropped=*/true);
    };
    RunAlbum(std::move(album));
    return 0;
}
