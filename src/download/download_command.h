#pragma once
// The Download command: one whole album, from the address in Text1 to the
// completion report and the end of the program.

#include "download/frontend.h"
#include "download/settings.h"
#include "net/http.h"

namespace gathrix {

enum class DownloadOutcome {
    EmptyAddress,  // nothing happened; the program goes on running
    Completed,     // completion report written, "Finished" box shown
    InvalidUrl,    // "Invalid URL !" shown
    Rejected,      // the Flickr reader's "Only image sets are accepted !" shown
};

// Runs the command in the current directory (the starting directory) on the
// front end's thread. inet is the window's transfer (Inet1): the front end's Exit
// cancels it. Calls front_end.EndProgram() at the end of every run except an
// empty address, then returns what happened.
DownloadOutcome Dowload(FrontEnd& front_end, net::Transfer& inet, const Settings& settings);

}  // namespace gathrix
