#pragma once
// The Webshots full-size lookup: the reader takes each picture from an address
// it makes out of the thumbnail's ("_th." becomes "_fs."), and that address
// sometimes answers with a tiny stand-in instead of the picture. Such a picture
// is fetched again from the address that the photo's full-size page passes to
// its viewer script.

#include <string>

#include "download/run_state.h"

namespace gathrix {

// Runs right after every picture fetch of the Webshots reader, on
// run.local_file_name. counted is what the file fetcher returned for that
// fetch. A picture of at least 1024 bytes stays. A smaller one (or one that was
// not stored) is dropped and looked up on the page
// Webshots full-size base + "/photo/fullsize/" + the last "/"-part of
// photo_link: the item after the first one holding "so.addVariable('" names
// the picture between its first two single quotes, and that address is fetched
// under the same local name. The log line of the failure ends in "succesful."
// or, when the page cannot be fetched or names nothing, in "not found.".
// Returns whether the picture is stored in the end (as it came, or repaired).
bool WebshotsFullSizeLookup(RunState& run, const std::string& photo_link, bool counted);

}  // namespace gathrix
