#include "manager/command_line.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>

#include "gui/qt_options.h"
#include "text/utf8.h"
#include "update/version.h"

namespace gathrix::manager {

std::optional<int> AnswerWithoutWindow(int argc, char* argv[], ManagerArguments& arguments) {
    QStringList args;
    for (int i = 0; i < argc; ++i) args.append(QString::fromLocal8Bit(argv[i]));

    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(QStringLiteral(
        "A download manager for photo albums: queue Picasa, Flickr and Webshots album\n"
        "addresses, and each album is downloaded in turn into a folder of its own below\n"
        "the destination (~/Pictures/Gathrix unless chosen otherwise). The queue and its\n"
        "results are kept in $XDG_STATE_HOME/gathrix; the settings are shared with\n"
        "gathrix-cli through its configuration file."));
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Print this text and exit."));
    const QCommandLineOption version(QStringLiteral("version"),
                                     QStringLiteral("Print the program's name and version and exit."));
    const QCommandLineOption start(QStringLiteral("start"),
                                   QStringLiteral("Start downloading the queue at once."));
    parser.addOption(help);
    parser.addOption(version);
    parser.addOption(start);
    gui::AddQtOwnOptions(parser);
    parser.addPositionalArgument(QStringLiteral("address"),
                                 QStringLiteral("Album addresses, queued when the window opens."),
                                 QStringLiteral("[address...]"));
    if (!parser.parse(args)) {
        std::fprintf(stderr, "gathrix-manager: %s\n", EscapeForTerminal(parser.errorText().toStdString()).c_str());
        return 1;
    }
    if (parser.isSet(version)) {
        std::printf("gathrix-manager (%s) %s\n", kProductName, kProgramVersion);
        return 0;
    }
    if (parser.isSet(help)) {
        int core_argc = 1;
        QCoreApplication core(core_argc, argv);
        std::fputs(parser.helpText().toLocal8Bit().constData(), stdout);
        return 0;
    }
    arguments.addresses = parser.positionalArguments();
    arguments.start = parser.isSet(start);
    return std::nullopt;
}

}  // namespace gathrix::manager
