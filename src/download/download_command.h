#pragma once
// The Download command: one whole album, from the address the user gave to the
// completion report.

#include <chrono>
#include <filesystem>
#include <functional>
#include <string_view>

#include "download/settings.h"
#include "events/run_events.h"

namespace gathrix {

enum class DownloadOutcome {
    EmptyAddress,  // nothing happened; the program goes on running
    Completed,     // completion report written, "Finished" message given
    InvalidUrl,    // "Invalid URL !" given
    Rejected,      // the Flickr reader's "Only image sets are accepted !" given
    NoFolder,      // the working folder could not be made or used, or another run holds
                   // its record: nothing was fetched
};

// The name of the working folder, made below the directory a run starts in.
inline constexpr const char* kWorkingFolderName = "AlbumDownload";

// The message of the "Error" box for NoFolder.
inline constexpr const char* kNoFolderMessage = "The folder AlbumDownload could not be made or entered.";

// The message of the "Error" box when another run holds the folder's record.
inline constexpr const char* kFolderInUseMessage = "The folder AlbumDownload is in use by another download.";

// The clock from which the run takes its start and end times.
using WallClock = std::function<std::chrono::system_clock::time_point()>;

// Runs the command on the address the user gave (blanks and line breaks around
// it are dropped), storing the pictures in folder (the working folder, made
// when no entry of that name exists yet; its parent must exist; a folder the
// run made goes again, when still empty, if the address is invalid or
// rejected). Reports what
// happens to events, and RunEnded() at the end of every run except an empty
// address; returns what happened. While it runs, cancel (when given) ends
// every request in flight. Never changes the current directory and never
// throws on account of the network, the pages or the file system.
DownloadOutcome RunDownload(RunEvents& events, std::string_view address, const std::filesystem::path& folder,
                            const Settings& settings, Cancellation* cancel = nullptr, const WallClock& clock = {});

// The site number of an album address: the row of the first site marker that
// occurs in it, letter case aside (1 Picasa, 2 Flickr, 3 Webshots), or 0.
int SiteNumber(std::string_view album_address);

// Removes every partial picture and saved page of the runs in this process.
// Safe to call from a signal handler, which then ends the process.
void RemovePartialFiles();

}  // namespace gathrix
