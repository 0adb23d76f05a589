#pragma once
// The file fetcher: downloads one picture into the working folder.

#include <string>
#include <string_view>

#include "download/run_state.h"

namespace gathrix {

// A name that can only ever land in the working folder: the empty name, "." and
// ".." become underscores, and every path separator ('/', '\\') or control
// character is replaced by '_'. A name longer than a file name may be (255
// bytes) loses the end of its stem, keeping its extension. Any other name is
// returned unchanged.
std::string SafeLocalName(std::string_view name);

// Fetches run.picture_address and stores its body under the safe form of
// run.local_file_name in the working folder. Writes "Downloading NAME..." and
// then "OK" or "failed." with CR LF into the log, shows the count so far in
// Label1, and raises the file counter for a stored picture. Window events are
// pumped while the request runs. Only a complete body with an HTTP status below
// 400 is stored; otherwise nothing is written and an older file of that name
// survives. Returns whether the picture was stored.
bool FetchFile(RunState& run);

}  // namespace gathrix
