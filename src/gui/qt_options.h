#pragma once
// What the two windows' programs share on their command lines: the options
// Qt takes for itself (-platform NAME, -style NAME, -session ID, ...), which
// a program's own parser accepts without a word and leaves for QApplication.

class QCommandLineParser;

namespace gathrix::gui {

// Adds Qt's own options to parser, hidden from its help.
void AddQtOwnOptions(QCommandLineParser& parser);

}  // namespace gathrix::gui
