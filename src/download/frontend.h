#pragma once
// What the download engine needs of a front end (the window, the command line,
// or a test). The engine runs on the front end's thread and calls these as it goes.

#include <filesystem>
#include <string>
#include <string_view>

namespace gathrix {

enum class BoxIcon { None, Critical };

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
};

}  // namespace gathrix
