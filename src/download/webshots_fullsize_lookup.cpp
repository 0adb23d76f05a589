#include "download/webshots_fullsize_lookup.h"

#include <optional>

#include "download/file_fetcher.h"
#include "download/page_fetch.h"
#include "download/size_check.h"
#include "text/page_files.h"
#include "text/strings.h"

namespace gathrix {

namespace {
constexpr int kFullSizePageNumber = 3;
// The full-size page hands the picture to its viewer as the second argument of
// a call like so.addVariable('src', 'http://.../photo_fs.jpg').
constexpr const char* kScriptMarker = "so.addVariable('";
}  // namespace

bool WebshotsFullSizeLookup(RunState& run, const std::string& photo_link, bool counted) {
    if (!DropSmallPicture(run, kWebshotsSmallestPicture, counted)) return true;

    const std::string page_address = run.settings.webshots_fullsize_base + "/photo/fullsize/" + LastField(photo_link, "/");
    bool found = false;
    bool stored = false;
    if (const std::optional<net::SavedPage> page = FetchPage(run, page_address, PageRole::Lookup)) {
        PageFiles& files = run.files;
        files.Open(page->Path(), OpenMode::Binary, kFullSizePageNumber);
        while (!found && !files.AtEnd(kFullSizePageNumber)) {
            const std::optional<std::string> item = files.ReadItem(kFullSizePageNumber);
            if (!item || !Contains(*item, kScriptMarker)) continue;
            found = true;
            run.front_end.AppendLog("succesful.\r\n");
            // A marker in the page's last item names nothing: the fetch of the
            // empty address then fails and says so in its own line.
            run.picture_address = Field(files.ReadItem(kFullSizePageNumber).value_or(std::string()), 2, "'");
            stored = FetchFile(run);
            run.picture_address.clear();
        }
        files.Close(kFullSizePageNumber);
    }
    // Without a replacement the failure line is closed, as the Flickr search
    // closes its own.
    if (!found) run.front_end.AppendLog("not found.\r\n");
    // A picture that came down whole but too small: that is why it is missing.
    if (!found && counted) run.last_failure = {FailureKind::TooSmallNoFullSize};
    return stored;
}

}  // namespace gathrix
