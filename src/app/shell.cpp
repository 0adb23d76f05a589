#include "app/shell.h"

#include <QMessageBox>
#include <QProcess>
#include <QStringList>
#include <cstdio>
#include <cstdlib>

namespace gathrix::app {

void DesktopShell::ShowMessage(QWidget* parent, const QString& text, const QString& title, BoxIcon icon) {
    QMessageBox box(icon == BoxIcon::Critical ? QMessageBox::Critical : QMessageBox::NoIcon, title, text,
                    QMessageBox::Ok, parent);
    box.setDefaultButton(QMessageBox::Ok);
    box.exec();
}

void DesktopShell::OpenFolder(const std::filesystem::path& folder) {
    // xdg-open hands the folder to whatever file browser the desktop has chosen.
    QProcess::startDetached(QStringLiteral("xdg-open"), QStringList{QString::fromStdString(folder.string())});
}

void DesktopShell::EndProgram() {
    std::fflush(nullptr);
    std::_Exit(EXIT_SUCCESS);
}

}  // namespace gathrix::app
