#include <QApplication>
#include <QIcon>

#include "app/gathrix_window.h"
#include "app/shell.h"
#include "update/version.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromUtf8(gathrix::kProductName));
    QApplication::setApplicationVersion(QString::fromUtf8(gathrix::kProgramVersion));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/gathrix/icon.png")));

    gathrix::app::DesktopShell shell;
    gathrix::app::Gathrix window(shell);
    window.show();
    return QApplication::exec();
}
