#pragma once
// Check Update: fetches the version file from the maker's site and tells the user
// whether a version other than this one is published. Shared by the window and
// by the command line.

#include <optional>
#include <string>
#include <string_view>

#include "events/run_events.h"

namespace gathrix {

// Path of the version file below the maker's site address.
inline constexpr const char* kVersionFilePath = "/gathrix/version.txt";

// The version a version file publishes: its first item (text/page_reader.h has
// the item rules), or nullopt when the file is empty or its first item is.
std::optional<std::string> ParseVersionFile(std::string_view bytes);

// Runs the whole check on the front end: progress in the log, one message,
// log emptied at the end. site_url is the maker's site without a trailing slash.
// Returns false when the version file could not be fetched (or was empty), true
// when a published version was read and compared.
bool CheckForUpdate(RunEvents& ui, const std::string& site_url);

}  // namespace gathrix
