#include "gui/qt_options.h"

#include <QCommandLineOption>
#include <QCommandLineParser>

#include <array>

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

void AddQtOwnOptions(QCommandLineParser& parser) {
    for (const char* name : kQtOptionsWithValue) AddHidden(parser, name, true);
    for (const char* name : kQtFlags) AddHidden(parser, name, false);
}

}  // namespace gathrix::gui
