#pragma once
// The settings the manager shares with gathrix-cli, kept in the command
// line's configuration file (see ConfigFilePath): read with the command
// line's own parser, and written back changing only the lines of these
// options, every other line and comment kept as it was.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace gathrix::manager {

struct SharedSettings {
    std::optional<int> jobs;             // jobs
    int retries = 0;                     // retries
    std::int64_t limit_rate = 0;         // limit-rate, bytes a second (0: none)
    std::chrono::milliseconds wait{0};   // wait between pictures
    std::string cookies;                 // cookies: a cookie file (empty: none)
    std::string flickr_api_key;          // flickr-api-key (empty: none)
    bool write_metadata = false;         // write-metadata
    bool operator==(const SharedSettings&) const = default;
};

// The settings of the file at path; defaults for a file that is not there.
// A file that cannot be read or holds a bad line gives the defaults and
// error says why ("FILE:LINE: what is wrong").
SharedSettings LoadSharedSettings(const std::string& path, std::string& error);

// The file's text with the lines of the shared options set to settings (a
// setting at its default has no line), every other line kept in its place.
std::string WithSharedSettings(const std::string& text, const SharedSettings& settings);

// Writes settings into the file at path (made with its folder when missing),
// as a new file put in place of the old one, readable by its owner only
// (mode 0600). False, with error saying why, when it cannot.
bool SaveSharedSettings(const std::string& path, const SharedSettings& settings, std::string& error);

}  // namespace gathrix::manager
