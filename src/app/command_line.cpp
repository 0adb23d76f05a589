#include "app/command_line.h"

#include <QCommandLineParser>
#include <QStringList>

#include <string>

#include "gui/qt_options.h"
#include "update/version.h"

namespace gathrix::app {

std::optional<int> AnswerWithoutWindow(int argc, char* argv[]) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments.append(QString::fromLocal8Bit(argv[i]));

    QCommandLineParser parser;
    gui::SetUpWindowOptions(
        parser,
        QStringLiteral("Downloads a whole photo album in a window. Paste the album's address, press\n"
                       "Download, and the pictures go to the folder AlbumDownload below the current\n"
                       "directory. Qt's standard options (-platform NAME, -style NAME, ...) work too."));
    parser.addPositionalArgument(QStringLiteral("address"),
                                 QStringLiteral("The album's address, put into the window's text box (after "
                                                "\"--\" it may start with \"-\")."),
                                 QStringLiteral("[address]"));
    return gui::AnswerWithoutWindow(parser, arguments, argv, "gathrix",
                                    std::string(kProductName) + " " + kProgramVersion);
}

}  // namespace gathrix::app
