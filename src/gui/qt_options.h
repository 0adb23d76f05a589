#pragma once
// What the two windows' programs share on their command lines: --help,
// --version and the options Qt takes for itself (-platform NAME, -style
// NAME, -session ID, ...), which a program's own parser accepts without a
// word and leaves for QApplication. All of it is answered without a display.

#include <QString>
#include <QStringList>

#include <optional>
#include <string>

class QCommandLineParser;

namespace gathrix::gui {

// Sets parser up for a window program: Qt's options as words after a single
// dash ("-platform offscreen"), hidden from the help, and -h/--help and
// --version. The program adds its own options and arguments after this.
void SetUpWindowOptions(QCommandLineParser& parser, const QString& description);

// Reads arguments (argv[0] first) with parser. A bad option gets a
// one-line message on stderr, "PROGRAM: what is wrong" (escaped for the
// terminal), and 1; --version prints version_line, --help the help text, and
// 0. nullopt when the window is to open.
std::optional<int> AnswerWithoutWindow(QCommandLineParser& parser, const QStringList& arguments, char* argv[],
                                       const char* program, const std::string& version_line);

}  // namespace gathrix::gui
