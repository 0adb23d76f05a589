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
#include <cstdio>

#include "app/display_text.h"
#include "app/shell.h"
#include "download/download_command.h"
#include "download/log_format.h"
#include "download/settings.h"
#include "text/utf8.h"
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

// A label filled with a background colour of its own.
void Paint(QLabel* label, const QColor& background, const QColor& text) {
    label->setAutoFillBackground(true);
    QPalette colours = label->palette();
    colours.setColor(QPalette::Window, background);
    colours.setColor(QPalette::WindowText, text);
    label->setPalette(colours);
}

// The settings of a download: the environment's. A GATHRIX_JOBS the engine
// passed over is told on stderr, as gathrix-cli tells it.
Settings DownloadSettings() {
    Settings settings = Settings::FromEnvironment();
    if (settings.rejected_jobs) {
        std::fprintf(stderr, "gathrix: GATHRIX_JOBS=%s is not a number from 1 to %d; fetching one picture at a time\n",
                     EscapeForTerminal(*settings.rejected_jobs).c_str(), kMaxJobs);
    }
    return settings;
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
    setFixedSize(TwipsToPixels(kMainClientWidth, kMainClientHeight, dpi_x, dpi_y));
    MakeControls(dpi_x, dpi_y);

    // Labels and the logo lie on the window's surface, under the controls: the
    // prompt's last pixel row is covered by the top of the text box.
    status_label_->lower();
    notice_label_->lower();
    logo_->lower();

    setTabOrder(address_box_, download_button_);
    setTabOrder(download_button_, exit_button_);
    setTabOrder(exit_button_, update_button_);
    setTabOrder(update_button_, info_button_);

    connect(download_button_, &QPushButton::clicked, this, &Gathrix::OnDownload);
    connect(update_button_, &QPushButton::clicked, this, &Gathrix::OnUpdate);
    connect(info_button_, &QPushButton::clicked, this, &Gathrix::OnInfo);
    connect(exit_button_, &QPushButton::clicked, this, &Gathrix::OnExit);

    setWindowTitle(MainWindowTitle());
    address_box_->setFocus();
}

void Gathrix::MakeControls(double dpi_x, double dpi_y) {
    auto place = [dpi_x, dpi_y](QWidget* control, const TwipRect& rect) {
        control->setGeometry(TwipsToPixels(rect, dpi_x, dpi_y));
    };
    address_box_ = new QPlainTextEdit(this);
    address_box_->setObjectName(QStringLiteral("Text1"));
    address_box_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    address_box_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    address_box_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    address_box_->setTabChangesFocus(true);
    place(address_box_, kAddressBoxPlace);

    download_button_ = MakeButton(QStringLiteral("Dowload"), QStringLiteral("&Download"), this);
    place(download_button_, kDownloadButtonPlace);
    exit_button_ = MakeButton(QStringLiteral("Exit"), QStringLiteral("&Exit"), this);
    place(exit_button_, kExitButtonPlace);
    update_button_ = MakeButton(QStringLiteral("Update"), QStringLiteral("&Check Update"), this);
    place(update_button_, kUpdateButtonPlace);

    // The prompt in the highlight colours, the notice black on light green.
    status_label_ = new QLabel(QStringLiteral("Input Picasa or Flickr Album URL here"), this);
    status_label_->setObjectName(QStringLiteral("Label1"));
    const QPalette prompt = status_label_->palette();
    Paint(status_label_, prompt.color(QPalette::Active, QPalette::Highlight),
          prompt.color(QPalette::Active, QPalette::HighlightedText));
    status_label_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    place(status_label_, kStatusLabelPlace);
    notice_label_ = new QLabel(QString::fromUtf8(kMakerNotice), this);
    notice_label_->setObjectName(QStringLiteral("Label2"));
    Paint(notice_label_, kNoticeBackground, Qt::black);
    notice_label_->setAlignment(Qt::AlignCenter);
    place(notice_label_, kNoticeLabelPlace);

    info_button_ = MakeButton(QStringLiteral("Info"), QStringLiteral("Info"), this);
    place(info_button_, kInfoButtonPlace);

    logo_ = new QLabel(this);
    logo_->setObjectName(QStringLiteral("Image1"));
    place(logo_, kLogoPlace);
    logo_->setPixmap(QPixmap(QStringLiteral(":/gathrix/logo.png"))
                         .scaled(logo_->size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
}

Gathrix::~Gathrix() {
    if (info_) delete info_.data();
}

void Gathrix::ShowEndOfLog() {
    address_box_->moveCursor(QTextCursor::End);
    address_box_->ensureCursorVisible();
    QScrollBar* bar = address_box_->verticalScrollBar();
    bar->setValue(bar->maximum());
    address_box_->repaint();
}

// Update, Info and Download, in that order; they stay disabled.
void Gathrix::RunStarted() {
    update_button_->setEnabled(false);
    info_button_->setEnabled(false);
    download_button_->setEnabled(false);
}

void Gathrix::LogReplaced(std::string_view text) {
    address_box_->setPlainText(ToDisplayText(text));
    log_ends_in_cr_ = !text.empty() && text.back() == '\r';
    ShowEndOfLog();
}

void Gathrix::LogAppended(std::string_view piece) {
    if (piece.empty()) return;
    if (log_ends_in_cr_ && piece.front() == '\n') piece.remove_prefix(1);
    log_ends_in_cr_ = !piece.empty() && piece.back() == '\r';
    QTextCursor cursor(address_box_->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(ToDisplayText(piece));
    ShowEndOfLog();
}

void Gathrix::LogCleared() {
    address_box_->clear();
    log_ends_in_cr_ = false;
    address_box_->repaint();
}

void Gathrix::PicturesStored(std::int64_t count) {
    status_label_->setText(FromUtf8(ProgressCaption(count)));
    status_label_->repaint();
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

void Gathrix::OnDownload() {
    std::error_code ec;
    const std::filesystem::path start = std::filesystem::current_path(ec);
    const DownloadOutcome outcome = RunDownload(*this, address_box_->toPlainText().toStdString(),
                                                start / kWorkingFolderName, DownloadSettings(), &cancel_);
    if (outcome == DownloadOutcome::EmptyAddress) address_box_->setFocus();
}

void Gathrix::OnUpdate() { CheckForUpdate(*this, MakerSiteUrl()); }

void Gathrix::OnInfo() {
    if (!info_) info_ = new InfoWindow();
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
