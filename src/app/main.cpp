#include <QApplication>
#include <QIcon>
#include <QPlainTextEdit>
#include <QStringList>

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
    // "gathrix ADDRESS" opens the window with ADDRESS already in Text1.
    const QStringList arguments = QApplication::arguments();
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        if (!arguments[i].startsWith(QLatin1Char('-'))) {
            window.Text1->setPlainText(arguments[i]);
            break;
        }
    }
    window.show();
    return QApplication::exec();
}
