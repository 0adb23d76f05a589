#include <QApplication>
#include <QIcon>
#include <QPlainTextEdit>

#include <optional>

#include "app/command_line.h"
#include "app/gathrix_window.h"
#include "app/shell.h"
#include "update/version.h"

int main(int argc, char* argv[]) {
    // --help, --version and a mistyped option are answered before QApplication
    // exists: they need no display and open no window.
    if (const std::optional<int> status = gathrix::app::AnswerWithoutWindow(argc, argv)) return *status;

    QApplication app(argc, argv);
    // On X11 the application name is the class of the window's WM_CLASS, which
    // StartupWMClass in the desktop entry names; on Wayland the desktop file
    // name is the window's app id.
    QApplication::setApplicationName(QString::fromUtf8(gathrix::kProductName));
    QApplication::setApplicationVersion(QString::fromUtf8(gathrix::kProgramVersion));
    QGuiApplication::setDesktopFileName(QStringLiteral("net.example.gathrix"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/gathrix/icon.png")));

    gathrix::app::DesktopShell shell;
    gathrix::app::Gathrix window(shell);
    // gathrix ADDRESS (the desktop entry's "gathrix %u") starts with ADDRESS in the address box.
    const QString address = gathrix::app::AddressArgument(QApplication::arguments());
    if (!address.isEmpty()) window.AddressBox()->setPlainText(address);
    window.show();
    return QApplication::exec();
}
