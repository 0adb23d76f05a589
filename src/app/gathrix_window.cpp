#include "app/gathrix_window.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QIcon>
#include <QLabel>
#include <QPalette>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextCursor>

#include "app/display_text.h"
#include "app/shell.h"
#include "download/download_command.h"
#include "download/log_format.h"
#include "download/settings.h"
#include "update/update_check.h"
#include "update/version.h"

// The logo and the icon are compiled into the library; a static library needs
// its resources registered by hand.
static void LoadResources() { Q_INIT_RESOURCE(gathrix); }

namespace gathrix::app {

namespace {

QString FromUtf8(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

// The maker's notice in the bottom right corner.
constexpr const char* kMakerNotice = "Freeware";
const QColor kNoticeBackground(128, 255, 128);

QPushButton* MakeButton(const QString& name, const QString& text, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(name);
    // Enter on a focused button presses it; no button is the window's default.
    button->setAutoDefault(true);
    button->setDefault(false);
    return button;
}

}  // namespace

QString MainWindowTitle() {
    return QString::fromUtf8(kProductName) + QStringLiteral(" v") + QString::fromUtf8(kProgramVersion) +
           QStringLiteral(" Picasaweb, Flickr and Webshots Album Downloader");
}

QString AddressArgument(const QStringList& arguments) {
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument == QStringLiteral("--")) return i + 1 < arguments.size() ? arguments[i + 1] : QString();
        if (!argument.startsWith(u'-')) return argument;
    }
    return QString();
}

Gathrix::Gathrix(Shell& shell)
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      shell_(shell) {
    LoadResources();
    setObjectName(QStringLiteral("Gathrix"));
    setWindowIcon(QIcon(QStringLiteral(":/gathrix/icon.png")));

    const double dpi_x = LogicalDpiX();
    const double dpi_y = LogicalDpiY();
    auto place = [dpi_x, dpi_y](QWidget* control, const TwipRect& rect) {
        control->setGeometry(TwipsToPixels(rect, dpi_x, dpi_y));
    };
    setFixedSize(TwipsToPixels(kMainClientWidth, kMainClientHeight, dpi_x, dpi_y));

    // Created in tab order.
    Text1 = new QPlainTextEdit(this);
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Text1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Text1->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    Text1->setTabChangesFocus(true);
    place(Text1, kText1Place);

    Dowload = MakeButton(QStringLiteral("Dowload"), QStringLiteral("&Download"), this);
    place(Dowload, kDowloadPlace);
    Exit = MakeButton(QStringLiteral("Exit"), QStringLiteral("&Exit"), this);
    place(Exit, kExitPlace);
    Update = MakeButton(QStringLiteral("Update"), QStringLiteral("&Check Update"), this);
    place(Update, kUpdatePlace);

    Label1 = new QLabel(QStringLiteral("Input Picasa or Flickr Album URL here"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setAutoFillBackground(true);
    {
        QPalette colours = Label1->palette();
        colours.setColor(QPalette::Window, colours.color(QPalette::Active, QPalette::Highlight));
        colours.setColor(QPalette::WindowText, colours.color(QPalette::Active, QPalette::HighlightedText));
        Label1->setPalette(colours);
    }
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    place(Label1, kLabel1Place);

    Label2 = new QLabel(QString::fromUtf8(kMakerNotice), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setAutoFillBackground(true);
    {
        QPalette colours = Label2->palette();
        colours.setColor(QPalette::Window, kNoticeBackground);
        colours.setColor(QPalette::WindowText, Qt::black);
        Label2->setPalette(colours);
    }
    Label2->setAlignment(Qt::AlignCenter);
    place(Label2, kLabel2Place);

    Info = MakeButton(QStringLiteral("Info"), QStringLiteral("Info"), this);
    place(Info, kInfoPlace);

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    place(Image1, kImage1Place);
    Image1->setPixmap(QPixmap(QStringLiteral(":/gathrix/logo.png"))
                          .scaled(Image1->size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation));

    // Labels and the logo lie on the window's surface, under the controls: the
    // prompt's last pixel row is covered by the top of the text box.
    Label1->lower();
    Label2->lower();
    Image1->lower();

    setTabOrder(Text1, Dowload);
    setTabOrder(Dowload, Exit);
    setTabOrder(Exit, Update);
    setTabOrder(Update, Info);

    connect(Dowload, &QPushButton::clicked, this, &Gathrix::OnDowload);
    connect(Update, &QPushButton::clicked, this, &Gathrix::OnUpdate);
    connect(Info, &QPushButton::clicked, this, &Gathrix::OnInfo);
    connect(Exit, &QPushButton::clicked, this, &Gathrix::OnExit);

    setWindowTitle(MainWindowTitle());
    Text1->setFocus();
}

Gathrix::~Gathrix() {
    if (info_) delete info_.data();
}

void Gathrix::ShowEndOfLog() {
    Text1->moveCursor(QTextCursor::End);
    Text1->ensureCursorVisible();
    QScrollBar* bar = Text1->verticalScrollBar();
    bar->setValue(bar->maximum());
    Text1->repaint();
}

// Update, Info and Dowload, in that order; they stay disabled.
void Gathrix::RunStarted() {
    Update->setEnabled(false);
    Info->setEnabled(false);
    Dowload->setEnabled(false);
}

void Gathrix::LogReplaced(std::string_view text) {
    Text1->setPlainText(ToDisplayText(text));
    log_ends_in_cr_ = !text.empty() && text.back() == '\r';
    ShowEndOfLog();
}

void Gathrix::LogAppended(std::string_view piece) {
    if (piece.empty()) return;
    if (log_ends_in_cr_ && piece.front() == '\n') piece.remove_prefix(1);
    log_ends_in_cr_ = !piece.empty() && piece.back() == '\r';
    QTextCursor cursor(Text1->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(ToDisplayText(piece));
    ShowEndOfLog();
}

void Gathrix::LogCleared() {
    Text1->clear();
    log_ends_in_cr_ = false;
    Text1->repaint();
}

void Gathrix::PicturesStored(std::int64_t count) {
    Label1->setText(FromUtf8(ProgressCaption(count)));
    Label1->repaint();
}

void Gathrix::Message(std::string_view text, std::string_view title, BoxIcon icon) {
    shell_.ShowMessage(this, FromUtf8(text), FromUtf8(title), icon);
}

// The window stays answering (Exit, typing, the Info window) while pictures
// come in.
void Gathrix::Progress(const TransferProgress& /*progress*/) { QCoreApplication::processEvents(); }

// The window answers only from Progress while a run goes: fifty times a second
// keeps a click or a key from waiting noticeably.
std::optional<std::chrono::milliseconds> Gathrix::ProgressEvery() const { return std::chrono::milliseconds(20); }

void Gathrix::AlbumFinished(std::int64_t count, const std::filesystem::path& folder) {
    if (count > 0) shell_.OpenFolder(folder);
}

// One run of the program downloads one album.
void Gathrix::RunEnded() { shell_.EndProgram(); }

void Gathrix::OnDowload() {
    std::error_code ec;
    const std::filesystem::path start = std::filesystem::current_path(ec);
    const DownloadOutcome outcome = RunDownload(*this, Text1->toPlainText().toStdString(), start / kWorkingFolderName,
                                                Settings::FromEnvironment(), &cancel_);
    if (outcome == DownloadOutcome::EmptyAddress) Text1->setFocus();
}

void Gathrix::OnUpdate() { CheckForUpdate(*this, MakerSiteUrl()); }

void Gathrix::OnInfo() {
    if (!info_) info_ = new frmInfo();
    info_->Fill();
    info_->show();
    info_->raise();
    info_->activateWindow();
}

void Gathrix::OnExit() {
    // Cancelling first removes the pictures that are coming in, and the saved
    // page being read goes too, so no partial or scratch file is left behind
    // when the process goes.
    cancel_.Cancel();
    RemovePartialFiles();
    shell_.EndProgram();
}

void Gathrix::closeEvent(QCloseEvent* event) {
    OnExit();
    event->accept();
}

}  // namespace gathrix::app
