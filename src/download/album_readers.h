#pragma once
// The album readers, one per photo service. Each works on the run state: it is
// given the album address, the working folder as current directory, the log
// holding just its header, the file counter at zero and no file open; it fetches
// every picture of the album through the file fetcher and leaves every file it
// opened closed.

#include "download/run_state.h"

namespace gathrix {

enum class ReaderEnd {
    AlbumDone,  // the album is done: the command writes its completion report
    Rejected,   // the reader turned the address down after its own message box
};

using AlbumReader = ReaderEnd (*)(RunState& run);

ReaderEnd ReadPicasaAlbum(RunState& run);    // site 1
ReaderEnd ReadFlickrSet(RunState& run);      // site 2
ReaderEnd ReadWebshotsAlbum(RunState& run);  // site 3

}  // namespace gathrix
