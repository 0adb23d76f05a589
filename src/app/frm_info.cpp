#include "app/frm_info.h"

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
constexpr TwipRect kText1{240, 240, 5412, 1812};
constexpr const char* kLineEnd = "\r\n";
}  // namespace

std::string InfoLine1() {
    return std::string(kProductName) + " - PicasaWeb, Flickr and Webshots Album Downloader v" + kProgramVersion;
}
std::string InfoLine2() { return "Requirements: Windows 2000 / XP / Vista"; }
std::string InfoLine3() { return std::string("Web page: ") + MakerSiteUrl(); }
std::string InfoLine4() { return std::string("Email: ") + kMakerContactAddress; }

frmInfo::frmInfo()
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("frmInfo"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Info"));

    const double dpi_x = LogicalDpiX();
    const double dpi_y = LogicalDpiY();
    setFixedSize(TwipsToPixels(kClientWidth, kClientHeight, dpi_x, dpi_y));

    // Created in tab order: OK_button first, then the text box.
    OK_button = new QPushButton(QStringLiteral("OK"), this);
    OK_button->setObjectName(QStringLiteral("OK_button"));
    OK_button->setGeometry(TwipsToPixels(kOkButton, dpi_x, dpi_y));
    // Enter on the focused button presses it, as the space bar does.
    OK_button->setAutoDefault(true);

    Text1 = new QPlainTextEdit(QStringLiteral("Text1"), this);
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->setGeometry(TwipsToPixels(kText1, dpi_x, dpi_y));
    Text1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Text1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Text1->setReadOnly(true);
    Text1->setTabChangesFocus(true);

    setTabOrder(OK_button, Text1);
    OK_button->setFocus();

    connect(OK_button, &QPushButton::clicked, this, &QWidget::close);
}

void frmInfo::ReplaceText(const std::string& text) { Text1->setPlainText(ToDisplayText(text)); }

void frmInfo::AppendText(const std::string& piece) {
    QTextCursor cursor(Text1->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(ToDisplayText(piece));
}

void frmInfo::Fill() {
    ReplaceText(InfoLine1() + kLineEnd);
    AppendText(InfoLine2() + kLineEnd);
    AppendText(InfoLine3() + kLineEnd);
    AppendText(InfoLine4());
}

QString frmInfo::Text() const { return Text1->toPlainText(); }

}  // namespace gathrix::app
