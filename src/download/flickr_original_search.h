#pragma once
// The Flickr original-size search: run after every picture of a Flickr set. A
// picture that came down too small is deleted and looked for again, first on
// the photo's original-size page ("sizes/o/"), then on the photo's own page;
// the first "_o.jpg" address found there is fetched under the same local name.

#include <string_view>

#include "download/run_state.h"

namespace gathrix {

// Checks the picture just fetched under run.local_file_name and, when it is
// under kFlickrSmallestPicture bytes, searches for its original. link_field is
// the field of the thumbnail line right before the picture's image field (empty
// for the first field): between its first two double quotes stands the link to
// the photo's page. counted is what the file fetcher returned for the picture.
// Returns whether the picture is stored in the end (as it came, or repaired).
bool SearchFlickrOriginal(RunState& run, const std::string& link_field, bool counted);

// The address of the photo's page below the Flickr base URL: the photo link up
// to and including the "/" that begins its first "/in/"; empty without "/in/".
std::string FlickrPhotoPath(std::string_view photo_link);

}  // namespace gathrix
