#pragma once
// Check Update: fetches the version file from the maker's site and tells the user
// whether a version newer than this one is published. Shared by the window and
// by the command line.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "events/run_events.h"

namespace gathrix {

// Path of the version file below the maker's site address.
inline constexpr const char* kVersionFilePath = "/gathrix/version.txt";

// The version a version file publishes: its first item (text/page_reader.h has
// the item rules), or nullopt when the file is empty or its first item is.
std::optional<std::string> ParseVersionFile(std::string_view bytes);

// The numbers of a version as it is written: whole numbers of at most nine
// digits separated by single dots ("3", "3.10", "3.5.1"), with blanks around
// it and a "v" or "V" before it allowed. nullopt for anything else ("3.",
// "3..5", "3.5beta", "garbage").
std::optional<std::vector<std::uint32_t>> VersionNumbers(std::string_view version);

// Whether published is newer than ours, number by number from the left, a
// missing number counting as 0 ("3.10" is newer than "3.5"; "3.5.0" is not).
// nullopt when either does not read as a version.
std::optional<bool> NewerVersion(std::string_view published, std::string_view ours);

// Runs the whole check on the front end: progress in the log, one message,
// log emptied at the end. site_url is the maker's site without a trailing slash.
// Returns false when the version file could not be fetched, or when what it
// publishes does not read as a version (an empty file, an error page served as
// a success); true when a published version was read and compared. Only a
// version newer than ours is a new version.
bool CheckForUpdate(RunEvents& ui, const std::string& site_url);

}  // namespace gathrix
