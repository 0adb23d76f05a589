#include "download/album_readers.h"

namespace gathrix {

// Flickr photo sets are not read yet: the run ends with its completion report.
ReaderEnd ReadFlickrSet(RunState& /*run*/) { return ReaderEnd::AlbumDone; }

}  // namespace gathrix
