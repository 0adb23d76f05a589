#pragma once
// The exit statuses of gathrix-cli, as --help tells them. With several albums,
// or a cookie jar that cannot be written after the run, the run ends with the
// highest.

namespace gathrix {

enum ExitStatus : int {
    kExitCompleted = 0,       // every album page read and no picture missing
    kExitUsage = 1,           // a usage error, a blank address, or a list, cookie file or jar that cannot be used
    kExitInvalidUrl = 2,      // an address no album reader knows
    kExitRejected = 3,        // an address of a known service that is not an image set
    kExitPageFailed = 4,      // an album page could not be downloaded
    kExitPictureMissing = 5,  // a picture is missing in the end
    kExitNoFolder = 6,        // AlbumDownload could not be made or entered, or takes no page
};

// A run ended by a signal exits with this plus the signal's number.
inline constexpr int kExitSignalBase = 128;

}  // namespace gathrix
