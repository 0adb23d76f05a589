#pragma once
// What the download engine needs of a front end (the window, the command line,
// or a test). The engine runs on the front end's thread and calls these as it goes.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "events/failure.h"
// BoxIcon and TransferProgress: one definition for this interface and for
// RunEvents, so that a file may use both.
#include "events/run_events.h"

namespace gathrix {

// What failed for good in a run.
enum class WhatFailed {
    AlbumPage,  // a page of the album could not be downloaded
    Picture,    // a picture is missing in the end: neither its fetch nor a repair stored it
};

class FrontEnd {
public:
    virtual ~FrontEnd() = default;

    // The text of Text1: the album address before a run.
    virtual std::string AddressText() = 0;
    // Progress log. ReplaceLog sets the whole text (used for the log header);
    // AppendLog adds a piece at the end of whatever the log holds now; ClearLog
    // empties it. Each keeps the end of the log in view and repaints at once.
    virtual void ReplaceLog(std::string_view text) = 0;
    virtual void AppendLog(std::string_view piece) = 0;
    virtual void ClearLog() = 0;
    // Caption of Label1, repainted at once.
    virtual void SetLabel(std::string_view caption) = 0;
    // Puts the input focus into Text1.
    virtual void FocusAddress() = 0;
    // Disables Update, Info and Dowload, in that order; they stay disabled.
    virtual void DisableButtons() = 0;
    // A modal message box with an OK button; returns when it is closed.
    virtual void MessageBox(std::string_view text, std::string_view title, BoxIcon icon) = 0;
    // Handles the pending window events once and returns.
    virtual void PumpEvents() = 0;
    // Opens folder in the desktop's file browser without waiting for it.
    virtual void OpenFolder(const std::filesystem::path& folder) = 0;
    // Ends the program. The window exits the process at once; other front ends
    // may return, and the engine then returns from the command.
    virtual void EndProgram() = 0;

    // A failure for good, with the address and why. The window has its log for
    // that; the command line reports it on stderr.
    virtual void ReportFailure(WhatFailed /*what*/, std::string_view /*address*/, const Failure& /*why*/) {}
    // The album's pages were read, and none of them listed a picture (an empty
    // album, or a page layout the readers do not know); address as given.
    virtual void NoPicturesListed(std::string_view /*album_address*/) {}
    // Called while a picture comes in, as often as events are pumped.
    virtual void ShowProgress(const TransferProgress& /*progress*/) {}
};

}  // namespace gathrix
