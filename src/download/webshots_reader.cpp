#include "download/album_readers.h"

namespace gathrix {

// Webshots albums are not read yet: the run ends with its completion report.
ReaderEnd ReadWebshotsAlbum(RunState& /*run*/) { return ReaderEnd::AlbumDone; }

}  // namespace gathrix
