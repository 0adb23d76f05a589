#include "gui/qt_options.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QStringList>

#include <array>
#include <cstdio>

#include "text/utf8.h"

namespace gathrix::gui {

namespace {

// The options Qt takes for itself (see the documentation of QGuiApplication
// and QApplication).
constexpr std::array kQtOptionsWithValue = {
    // QGuiApplication
    "platform", "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry", "qwindowicon", "qwindowtitle",
    "session",
    // QApplication and QCoreApplication
    "style", "stylesheet", "qmljsdebugger",
    // the X11 platform
    "display", "geometry", "title", "icon", "name", "visual"};
constexpr std::array kQtFlags = {"reverse", "widgetcount", "testability", "nograb", "dograb"};

void AddHidden(QCommandLineParser& parser, const char* name, bool takes_value) {
    QCommandLineOption option(QString::fromLatin1(name), QString(), takes_value ? QStringLiteral("value") : QString());
    option.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(option);
}

}  // namespace

void SetUpWindowOptions(QCommandLineParser& parser, const QString& description) {
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(description);
    parser.addOption(QCommandLineOption(QStringList{QStringLiteral("h"), QStringLiteral("help")},
                                        QStringLiteral("Print this text and exit.")));
    parser.addOption(QCommandLineOption(QStringLiteral("version"),
                                        QStringLiteral("Print the program's name and version and exit.")));
    for (const char* name : kQtOptionsWithValue) AddHidden(parser, name, true);
    for (const char* name : kQtFlags) AddHidden(parser, name, false);
}

std::optional<int> AnswerWithoutWindow(QCommandLineParser& parser, const QStringList& arguments, char* argv[],
                                       const char* program, const std::string& version_line) {
    if (!parser.parse(arguments)) {
        // The message quotes the argument as given: escaped for the terminal,
        // it stays on one line.
        std::fprintf(stderr, "%s: %s\n", program, EscapeForTerminal(parser.errorText().toStdString()).c_str());
        return 1;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        std::printf("%s\n", version_line.c_str());
        return 0;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        // The usage line names the program as it was started, which helpText()
        // asks QCoreApplication for; it needs no display.
        int core_argc = 1;
        QCoreApplication core(core_argc, argv);
        std::fputs(parser.helpText().toLocal8Bit().constData(), stdout);
        return 0;
    }
    return std::nullopt;
}

}  // namespace gathrix::gui
