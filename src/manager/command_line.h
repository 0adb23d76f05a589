#pragma once
// The manager's own options, read before QApplication exists.

#include <QStringList>
#include <optional>

namespace gathrix::manager {

struct ManagerArguments {
    QStringList addresses;  // queued when the window opens
    bool start = false;     // --start: the queue begins at once
};

// --help and --version print their answer on stdout, and an unknown option
// gets a one-line message on stderr: the return value is then the exit
// status (0, or 1 for the bad option), and no display is needed. nullopt:
// the window is to open, with arguments filled in. Qt's own options
// (-platform NAME, -style NAME, ...) are left for QApplication.
std::optional<int> AnswerWithoutWindow(int argc, char* argv[], ManagerArguments& arguments);

}  // namespace gathrix::manager
