// gathrix-manager: the download manager window.

#include <QApplication>
#include <QIcon>

#include <optional>

#include "manager/command_line.h"
#include "manager/manager_window.h"
#include "manager/notifier.h"
#include "update/version.h"

int main(int argc, char* argv[]) {
    // --help, --version and a mistyped option need no display.
    gathrix::manager::ManagerArguments arguments;
    if (const std::optional<int> status = gathrix::manager::AnswerWithoutWindow(argc, argv, arguments)) {
        return *status;
    }

    QApplication app(argc, argv);
    // The class of the window's WM_CLASS on X11, which StartupWMClass in the
    // desktop entry names; on Wayland the desktop file name is the app id.
    QApplication::setApplicationName(QStringLiteral("gathrix-manager"));
    QApplication::setApplicationDisplayName(QStringLiteral("Gathrix Download Manager"));
    QApplication::setApplicationVersion(QString::fromUtf8(gathrix::kProgramVersion));
    QGuiApplication::setDesktopFileName(QStringLiteral("net.example.gathrix.manager"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/manager/icon.png")));

    gathrix::manager::Notifier notifier;
    gathrix::manager::ManagerWindow window(gathrix::manager::ManagerPaths::FromEnvironment(), notifier);
    if (!arguments.addresses.isEmpty()) window.QueueAddresses(arguments.addresses.join(u'\n'));
    if (arguments.start) window.StartQueue();
    window.show();
    return QApplication::exec();
}
