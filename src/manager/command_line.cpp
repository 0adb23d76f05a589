#include "manager/command_line.h"

#include <QCommandLineOption>
#include <QCommandLineParser>

#include <string>

#include "gui/qt_options.h"
#include "update/version.h"

namespace gathrix::manager {

std::optional<int> AnswerWithoutWindow(int argc, char* argv[], ManagerArguments& arguments) {
    QStringList args;
    for (int i = 0; i < argc; ++i) args.append(QString::fromLocal8Bit(argv[i]));

    QCommandLineParser parser;
    gui::SetUpWindowOptions(parser, QStringLiteral(
        "A download manager for photo albums: queue Picasa, Flickr and Webshots album\n"
        "addresses, and each album is downloaded in turn into a folder of its own below\n"
        "the destination (~/Pictures/Gathrix unless chosen otherwise). The queue and its\n"
        "results are kept in $XDG_STATE_HOME/gathrix; the settings are shared with\n"
        "gathrix-cli through its configuration file."));
    const QCommandLineOption start(QStringLiteral("start"),
                                   QStringLiteral("Start downloading the queue at once."));
    parser.addOption(start);
    parser.addPositionalArgument(QStringLiteral("address"),
                                 QStringLiteral("Album addresses, queued when the window opens."),
                                 QStringLiteral("[address...]"));
    const std::string version = std::string("gathrix-manager (") + kProductName + ") " + kProgramVersion;
    if (const std::optional<int> status = gui::AnswerWithoutWindow(parser, args, argv, "gathrix-manager", version))
        return status;
    arguments.addresses = parser.positionalArguments();
    arguments.start = parser.isSet(start);
    return std::nullopt;
}

}  // namespace gathrix::manager
