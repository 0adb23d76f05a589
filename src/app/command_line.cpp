#include "app/command_line.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QStringList>

#include <cstdio>

#include "gui/qt_options.h"
#include "text/utf8.h"
#include "update/version.h"

namespace gathrix::app {

std::optional<int> AnswerWithoutWindow(int argc, char* argv[]) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments.append(QString::fromLocal8Bit(argv[i]));

    QCommandLineParser parser;
    // Qt's options are words after a single dash: "-platform offscreen".
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(
        QStringLiteral("Downloads a whole photo album in a window. Paste the album's address, press\n"
                       "Download, and the pictures go to the folder AlbumDownload below the current\n"
                       "directory. Qt's standard options (-platform NAME, -style NAME, ...) work too."));
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Print this text and exit."));
    const QCommandLineOption version(QStringLiteral("version"),
                                     QStringLiteral("Print the program's name and version and exit."));
    parser.addOption(help);
    parser.addOption(version);
    gui::AddQtOwnOptions(parser);
    parser.addPositionalArgument(QStringLiteral("address"),
                                 QStringLiteral("The album's address, put into the window's text box (after "
                                                "\"--\" it may start with \"-\")."),
                                 QStringLiteral("[address]"));

    if (!parser.parse(arguments)) {
        // The message quotes the argument as given: escaped for the terminal,
        // it stays on one line.
        std::fprintf(stderr, "gathrix: %s\n", EscapeForTerminal(parser.errorText().toStdString()).c_str());
        return 1;
    }
    if (parser.isSet(version)) {
        std::printf("%s %s\n", kProductName, kProgramVersion);
        return 0;
    }
    if (parser.isSet(help)) {
        // The usage line names the program as it was started, which helpText()
        // asks QCoreApplication for; it needs no display.
        int core_argc = 1;
        QCoreApplication core(core_argc, argv);
        std::fputs(parser.helpText().toLocal8Bit().constData(), stdout);
        return 0;
    }
    return std::nullopt;
}

}  // namespace gathrix::app
