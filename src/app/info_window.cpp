#include "app/info_window.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextCursor>

#include "app/display_text.h"
#include "app/layout.h"
#include "update/version.h"

namespace gathrix::app {

namespace {
constexpr int kClientWidth = 5928;
constexpr int kClientHeight = 2736;
constexpr TwipRect kOkButton{2280, 2160, 1335, 495};
constexpr TwipRect kTextBox{240, 240, 5412, 1812};
constexpr const char* kLineEnd = "\r\n";
}  // namespace

std::string InfoLine1() {
    return std::string(kProductName) + " - PicasaWeb, Flickr and Webshots Album Downloader v" + kProgramVersion;
}
std::string InfoLine2() { return "Requirements: Windows 2000 / XP / Vista"; }
std::string InfoLine3() { return std::string("Web page: ") + MakerSiteUrl(); }
std::string InfoLine4() { return std::string("Email: ") + kMakerContactAddress; }

InfoWindow::InfoWindow()
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("frmInfo"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Info"));

    const double dpi_x = LogicalDpiX();
    const double dpi_y = LogicalDpiY();
    setFixedSize(TwipsToPixels(kClientWidth, kClientHeight, dpi_x, dpi_y));

    // Created in tab order: OK first, then the text box.
    ok_button_ = new QPushButton(QStringLiteral("OK"), this);
    ok_button_->setObjectName(QStringLiteral("OK_button"));
    ok_button_->setGeometry(TwipsToPixels(kOkButton, dpi_x, dpi_y));
    // Enter on the focused button presses it, as the space bar does.
    ok_button_->setAutoDefault(true);

    text_box_ = new QPlainTextEdit(QStringLiteral("Text1"), this);
    text_box_->setObjectName(QStringLiteral("Text1"));
    text_box_->setGeometry(TwipsToPixels(kTextBox, dpi_x, dpi_y));
    text_box_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    text_box_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    text_box_->setReadOnly(true);
    text_box_->setTabChangesFocus(true);

    setTabOrder(ok_button_, text_box_);
    ok_button_->setFocus();

    connect(ok_button_, &QPushButton::clicked, this, &QWidget::close);
}

void InfoWindow::ReplaceText(const std::string& text) { text_box_->setPlainText(ToDisplayText(text)); }

void InfoWindow::AppendText(const std::string& piece) {
    QTextCursor cursor(text_box_->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(ToDisplayText(piece));
}

void InfoWindow::Fill() {
    ReplaceText(InfoLine1() + kLineEnd);
    AppendText(InfoLine2() + kLineEnd);
    AppendText(InfoLine3() + kLineEnd);
    AppendText(InfoLine4());
}

QString InfoWindow::Text() const { return text_box_->toPlainText(); }

}  // namespace gathrix::app
