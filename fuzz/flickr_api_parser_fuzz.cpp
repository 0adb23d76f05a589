// Flickr's API parsers on the input as an answer of each method, and as an
// address, in memory. An answer is "ok" only with "stat" in it; one that is
// not lists nothing, and only a failed one has a code or words. A photo list's
// page and pages are never negative, and its photos' details carry their IDs.
// A lookup that is "ok" has an NSID. An album address has
// digits for its ID and a user without "/", "?" or "#". A hidden address
// shows "HIDDEN" after every "?api_key=" and "&api_key=". A folder name is at
// most 100 bytes, without "/".

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "download/flickr_api.h"
#include "download/sites/flickr_api_parsers.h"
#include "parser_checks.h"

namespace {

using namespace gathrix;
using namespace gathrix::fuzz;

void CheckStatus(std::string_view answer, const FlickrApiStatus& status) {
    Check(status.kind == FlickrApiStatus::Kind::NotAnAnswer || Has(answer, "stat"));
    Check(status.kind == FlickrApiStatus::Kind::Failed || (status.code == 0 && status.message.empty()));
}

void CheckPhotoPage(std::string_view answer, std::string_view object) {
    const FlickrPhotoPage page = ParseFlickrPhotoPage(answer, object);
    CheckStatus(answer, page.status);
    Check(page.page >= 0 && page.pages >= 0);
    Check(page.status.kind == FlickrApiStatus::Kind::Ok || page.photos.empty());
    for (const FlickrApiPhoto& photo : page.photos) Check(photo.details.id == photo.id);
}

void CheckHidden(const std::string& address) {
    const std::string hidden = HideApiKey(address);
    for (std::size_t at = hidden.find("api_key="); at != std::string::npos; at = hidden.find("api_key=", at + 1)) {
        if (at > 0 && (hidden[at - 1] == '?' || hidden[at - 1] == '&')) {
            Check(std::string_view(hidden).substr(at + 8).starts_with("HIDDEN"));
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > kMaxPage) return 0;
    const std::string input(reinterpret_cast<const char*>(data), size);

    CheckPhotoPage(input, "photoset");
    CheckPhotoPage(input, "photos");
    const FlickrAlbumListPage list = ParseFlickrAlbumListPage(input);
    CheckStatus(input, list.status);
    for (const FlickrApiAlbum& album : list.albums) Check(!album.id.empty());
    const FlickrUserLookup user = ParseFlickrUserLookup(input);
    CheckStatus(input, user.status);
    Check(user.status.kind != FlickrApiStatus::Kind::Ok || !user.nsid.empty());
    CheckStatus(input, ParseFlickrVideoSizes(input).status);

    const FlickrApiTarget target = ParseFlickrApiTarget(input);
    if (target.form != FlickrApiForm::None) {
        Check(!target.user.empty() && target.user.find_first_of("/?#") == std::string::npos);
    }
    if (target.form == FlickrApiForm::Album) {
        Check(!target.album_id.empty() && target.album_id.find_first_not_of("0123456789") == std::string::npos);
    }
    CheckHidden(input);
    const std::string folder = FlickrAlbumFolderName("721", input);
    Check(folder.size() <= 100 && folder.find('/') == std::string::npos && !folder.empty());
    IsoFromUnixTime(input);
    return 0;
}
