#pragma once
// The window program's own options, read before QApplication exists.

#include <optional>

namespace gathrix::app {

// --help and --version print their answer on stdout, and an option that is
// neither one of them nor one of Qt's (-platform NAME, -style NAME,
// -session ID, ...) gets a one-line message on stderr; the return value is then
// the program's exit status: 0, or 1 for the bad option. None of this needs a
// display. nullopt means the window is to open: the arguments go to
// QApplication untouched.
std::optional<int> AnswerWithoutWindow(int argc, char* argv[]);

}  // namespace gathrix::app
