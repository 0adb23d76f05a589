#pragma once
// What the windows ask of the desktop beyond their own controls: modal message
// boxes, the file browser, and the end of the program. The program runs on
// DesktopShell; tests put in their own shell to answer the boxes and to see the
// end of the program without the process going away.

#include <QString>
#include <filesystem>

#include "events/run_events.h"

class QWidget;

namespace gathrix::app {

class Shell {
public:
    virtual ~Shell() = default;
    // A modal box with an OK button over parent; returns when it is closed.
    virtual void ShowMessage(QWidget* parent, const QString& text, const QString& title, BoxIcon icon) = 0;
    // Opens folder in the desktop's file browser; does not wait for it.
    virtual void OpenFolder(const std::filesystem::path& folder) = 0;
    // Ends the program at once. Only a test's shell returns from it.
    virtual void EndProgram() = 0;
};

class DesktopShell : public Shell {
public:
    void ShowMessage(QWidget* parent, const QString& text, const QString& title, BoxIcon icon) override;
    void OpenFolder(const std::filesystem::path& folder) override;
    // Flushes the standard streams and exits the process with status 0 without
    // running any window's close handling.
    [[noreturn]] void EndProgram() override;
};

}  // namespace gathrix::app
