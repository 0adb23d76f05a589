#pragma once
// A shell for the window tests: it answers every message box at once, notes what
// the program asked of the desktop, and lets the program "end" without the test
// process going away.

#include <QPlainTextEdit>
#include <QString>
#include <filesystem>
#include <vector>

#include "app/gathrix_window.h"
#include "app/shell.h"

namespace gathrix::app::test {

class RecordingShell : public Shell {
public:
    struct Box {
        QString text;
        QString title;
        BoxIcon icon;
        QString log_at_box;  // the main window's address box while the box is up
    };

    void ShowMessage(QWidget* parent, const QString& text, const QString& title, BoxIcon icon) override {
        QString log;
        if (auto* window = qobject_cast<Gathrix*>(parent)) log = window->AddressBox()->toPlainText();
        boxes.push_back({text, title, icon, log});
    }
    void OpenFolder(const std::filesystem::path& folder) override { opened_folders.push_back(folder); }
    void EndProgram() override { ++ends; }

    std::vector<Box> boxes;
    std::vector<std::filesystem::path> opened_folders;
    int ends = 0;
};

}  // namespace gathrix::app::test
