#pragma once
// Check Update: fetches the version file from the maker's site and tells the user
// whether a version other than this one is published. Shared by the window and
// by the command line.

#include <string>

#include "download/frontend.h"

namespace gathrix {

// Path of the version file below the maker's site address.
inline constexpr const char* kVersionFilePath = "/gathrix/version.txt";

// Runs the whole check on the front end: progress in the log, one message box,
// log emptied at the end. site_url is the maker's site without a trailing slash.
// Returns false when the version file could not be fetched (or was empty), true
// when a published version was read and compared.
bool CheckForUpdate(FrontEnd& ui, const std::string& site_url);

}  // namespace gathrix
