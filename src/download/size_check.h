#pragma once
// The check that the Flickr original-size search and the Webshots full-size
// lookup make after every picture: a file under the service's threshold is a
// failed picture, to be deleted and looked for again.

#include <cstdint>

#include "download/run_state.h"

namespace gathrix {

inline constexpr std::int64_t kFlickrSmallestPicture = 3072;
inline constexpr std::int64_t kWebshotsSmallestPicture = 1024;

// Measures the picture just fetched under run.local_file_name (in its safe
// form, as the file fetcher stored it). A file of at least threshold bytes is
// good: returns false and nothing happens. Otherwise the picture has failed:
// the file, if any, is deleted, "File NAME failed. Searching for original
// version..." is appended to the log (no line end), and the file counter is
// lowered when counted says the fetch had counted this picture. Returns true.
// Measuring never creates a file; a picture whose fetch stored nothing
// (counted false) measures 0 and leaves no empty file behind.
bool DropSmallPicture(RunState& run, std::int64_t threshold, bool counted);

}  // namespace gathrix
