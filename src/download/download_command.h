#pragma once
// The Download command: one whole album, from the address in Text1 to the
// completion report and the end of the program.

#include <chrono>
#include <functional>
#include <string_view>

#include "download/frontend.h"
#include "download/settings.h"
#include "net/http.h"

namespace gathrix {

enum class DownloadOutcome {
    EmptyAddress,  // nothing happened; the program goes on running
    Completed,     // completion report written, "Finished" box shown
    InvalidUrl,    // "Invalid URL !" shown
    Rejected,      // the Flickr reader's "Only image sets are accepted !" shown
    NoFolder,      // "AlbumDownload" could not be made or entered: nothing was fetched
};

// The message of the "Error" box for NoFolder.
inline constexpr const char* kNoFolderMessage = "The folder AlbumDownload could not be made or entered.";

// Runs the command in the current directory (the starting directory) on the
// front end's thread. inet is the window's transfer (Inet1): the front end's Exit
// cancels it. Calls front_end.EndProgram() at the end of every run except an
// empty address, then returns what happened. The current directory is the
// starting directory again when it returns. Never throws on account of the
// network, the pages or the file system.
DownloadOutcome RunDownload(FrontEnd& front_end, net::Transfer& inet, const Settings& settings);

// The clock from which the run takes its start and end times.
using WallClock = std::function<std::chrono::system_clock::time_point()>;

// The same, with the clock given (for runs that must pass a chosen time).
DownloadOutcome RunDownload(FrontEnd& front_end, net::Transfer& inet, const Settings& settings,
                        const WallClock& clock);

// The site number of an album address: the row of the first site marker that
// occurs in it, letter case aside (1 Picasa, 2 Flickr, 3 Webshots), or 0.
int SiteNumber(std::string_view album_address);

}  // namespace gathrix
