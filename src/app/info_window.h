#pragma once
// The Info window: program and version, what it runs on, and where to reach the
// maker. A top-level window of its own (no owner, not modal); OK or the frame
// closes it and the window is deleted.

#include <QWidget>
#include <string>

class QPlainTextEdit;
class QPushButton;

namespace gathrix::app {

// The four lines of the text, each without a line end. Fill() joins them with
// CR LF and puts no line end after the last.
std::string InfoLine1();
std::string InfoLine2();
std::string InfoLine3();
std::string InfoLine4();

// Its object name is "frmInfo", its controls' "Text1" and "OK_button".
class InfoWindow : public QWidget {
    Q_OBJECT

public:
    InfoWindow();

    // Sets the whole text, or adds piece at its end (CR LF breaks lines).
    void ReplaceText(const std::string& text);
    void AppendText(const std::string& piece);
    // Fills the text box with the four lines from scratch.
    void Fill();
    // The text as shown, lines separated by LF.
    QString Text() const;

    QPlainTextEdit* TextBox() const { return text_box_; }
    QPushButton* OkButton() const { return ok_button_; }

private:
    QPlainTextEdit* text_box_ = nullptr;
    QPushButton* ok_button_ = nullptr;
};

}  // namespace gathrix::app
