#include "manager/manager_window.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QJsonDocument>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSettings>
#include <QSplitter>
#include <QStandardPaths>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>
#include <cstdio>
#include <filesystem>

#include "cli/options.h"
#include "download/download_command.h"
#include "download/settings.h"
#include "manager/notifier.h"
#include "manager/settings_dialog.h"
#include "manager/shared_settings.h"
#include "manager/thumbnail_grid.h"
#include "update/version.h"

namespace gathrix::manager {

// The address field: Enter queues what it holds, and a paste of several
// lines queues each of them at once.
class AddressField : public QLineEdit {
public:
    explicit AddressField(std::function<void(const QString&)> queue, QWidget* parent)
        : QLineEdit(parent), queue_(std::move(queue)) {}

protected:
    void keyPressEvent(QKeyEvent* event) override {
        if (event->matches(QKeySequence::Paste)) {
            const QString text = QApplication::clipboard()->text();
            if (text.contains(u'\n')) {
                queue_(text);
                return;
            }
        }
        QLineEdit::keyPressEvent(event);
    }

private:
    std::function<void(const QString&)> queue_;
};

namespace {

// The progress column as a bar.
class ProgressDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        if (index.column() != AlbumQueue::ProgressColumn) {
            QStyledItemDelegate::paint(painter, option, index);
            return;
        }
        const int percent = index.data(AlbumQueue::kPercentRole).toInt();
        QStyleOptionProgressBar bar;
        bar.rect = option.rect.adjusted(2, 2, -2, -2);
        bar.minimum = 0;
        bar.maximum = 100;
        bar.progress = percent < 0 ? 0 : percent;
        bar.text = percent < 0 ? QString() : QString::number(percent) + u'%';
        bar.textVisible = percent >= 0;
        bar.state = option.state | QStyle::State_Horizontal;
        QApplication::style()->drawControl(QStyle::CE_ProgressBar, &bar, painter);
    }
};

QString EnvironmentPath(const char* name) {
    const QString value = qEnvironmentVariable(name);
    return value.startsWith(u'/') ? value : QString();
}

// An album address as the queue compares it with those it holds: without a
// fragment and a trailing "/", its scheme in small letters (as gathrix-cli
// compares the albums of one run).
QString SameAlbumKey(QString address) {
    address = address.trimmed();
    address.truncate(address.indexOf(u'#') < 0 ? address.size() : address.indexOf(u'#'));
    if (address.endsWith(u'/')) address.chop(1);
    const qsizetype scheme = address.indexOf(QStringLiteral("://"));
    if (scheme > 0) address = address.left(scheme).toLower() + address.mid(scheme);
    return address;
}

QPushButton* Button(const QString& name, const QString& text, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(name);
    return button;
}

}  // namespace

ManagerPaths ManagerPaths::FromEnvironment() {
    ManagerPaths paths;
    const QString home = QDir::homePath();
    QString state = EnvironmentPath("XDG_STATE_HOME");
    if (state.isEmpty()) state = home + QStringLiteral("/.local/state");
    paths.state_dir = state + QStringLiteral("/gathrix");
    QString config = EnvironmentPath("XDG_CONFIG_HOME");
    if (config.isEmpty()) config = home + QStringLiteral("/.config");
    paths.own_settings = config + QStringLiteral("/gathrix/gathrix-manager.conf");
    paths.shared_settings = QString::fromStdString(ConfigFilePath());
    paths.default_destination = home + QStringLiteral("/Pictures/Gathrix");
    return paths;
}

ManagerWindow::ManagerWindow(ManagerPaths paths, Notifier& notifier)
    : paths_(std::move(paths)), notifier_(notifier) {
    setObjectName(QStringLiteral("GathrixManager"));
    setWindowTitle(QStringLiteral("Gathrix Download Manager"));
    setAcceptDrops(true);
    ask_stop_ = [this] {
        return QMessageBox::question(this, QStringLiteral("Stop the downloads?"),
                                     QStringLiteral("Albums are downloading. Stop them and quit?\n\nThe pictures "
                                                    "so far are kept, and the queue goes on where it stopped "
                                                    "the next time the manager starts."),
                                     QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
    };
    open_ = [](const QString& path) { QDesktopServices::openUrl(QUrl::fromLocalFile(path)); };

    MakeControls();
    refresh_thumbnails_.setSingleShot(true);
    refresh_thumbnails_.setInterval(kThumbnailRefreshEvery);
    connect(&refresh_thumbnails_, &QTimer::timeout, thumbnails_, &ThumbnailGrid::Refresh);
    const QSettings own(paths_.own_settings, QSettings::IniFormat);
    destination_ = own.value(QStringLiteral("destination"), paths_.default_destination).toString();
    destination_label_->setText(QDir::toNativeSeparators(destination_));
    resize(own.value(QStringLiteral("size"), QSize(960, 640)).toSize());

    connect(&runner_, &AlbumRunner::LogReplaced, this, &ManagerWindow::OnLogReplaced);
    connect(&runner_, &AlbumRunner::LogAppended, this, &ManagerWindow::OnLogAppended);
    connect(&runner_, &AlbumRunner::PicturesStored, this, &ManagerWindow::OnStored);
    connect(&runner_, &AlbumRunner::PicturesListed, this,
            [this](int id, qint64 count) { queue_.Update(id, [count](AlbumRow& row) { row.listed = count; }); });
    connect(&runner_, &AlbumRunner::AlbumTitled, this,
            [this](int id, const QString& title) { queue_.Update(id, [&title](AlbumRow& row) { row.title = title; }); });
    connect(&runner_, &AlbumRunner::Progress, this, &ManagerWindow::OnProgress);
    connect(&runner_, &AlbumRunner::ProblemFound, this, &ManagerWindow::OnProblem);
    connect(&runner_, &AlbumRunner::Finished, this, &ManagerWindow::OnFinished);

    Load();
    UpdateButtons();
}

ManagerWindow::~ManagerWindow() { runner_.Shutdown(); }

void ManagerWindow::MakeControls() {
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);

    auto* address_row = new QHBoxLayout();
    address_ = new AddressField([this](const QString& text) { QueueAddresses(text); }, central);
    address_->setObjectName(QStringLiteral("address"));
    address_->setPlaceholderText(QStringLiteral("Album address (Picasa, Flickr or Webshots): Enter queues it"));
    add_button_ = Button(QStringLiteral("add"), QStringLiteral("&Add"), central);
    address_row->addWidget(address_, 1);
    address_row->addWidget(add_button_);
    layout->addLayout(address_row);

    auto* destination_row = new QHBoxLayout();
    destination_row->addWidget(new QLabel(QStringLiteral("Save albums in:"), central));
    destination_label_ = new QLabel(central);
    destination_label_->setObjectName(QStringLiteral("destination"));
    destination_label_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    destination_row->addWidget(destination_label_, 1);
    auto* choose = Button(QStringLiteral("choose"), QStringLiteral("C&hoose..."), central);
    auto* settings = Button(QStringLiteral("settings"), QStringLiteral("S&ettings..."), central);
    destination_row->addWidget(choose);
    destination_row->addWidget(settings);
    layout->addLayout(destination_row);

    auto* actions = new QHBoxLayout();
    start_button_ = Button(QStringLiteral("start"), QStringLiteral("&Start"), central);
    stop_button_ = Button(QStringLiteral("stop"), QStringLiteral("S&top"), central);
    cancel_button_ = Button(QStringLiteral("cancel"), QStringLiteral("&Cancel"), central);
    retry_button_ = Button(QStringLiteral("retry"), QStringLiteral("&Retry"), central);
    remove_button_ = Button(QStringLiteral("remove"), QStringLiteral("Re&move"), central);
    up_button_ = Button(QStringLiteral("up"), QStringLiteral("&Up"), central);
    down_button_ = Button(QStringLiteral("down"), QStringLiteral("Do&wn"), central);
    folder_button_ = Button(QStringLiteral("open-folder"), QStringLiteral("Open &folder"), central);
    for (QPushButton* button : {start_button_, stop_button_, cancel_button_, retry_button_, remove_button_,
                                up_button_, down_button_, folder_button_}) {
        actions->addWidget(button);
    }
    actions->addStretch(1);
    layout->addLayout(actions);

    auto* split = new QSplitter(Qt::Vertical, central);
    queue_view_ = new QTableView(split);
    queue_view_->setObjectName(QStringLiteral("queue"));
    queue_view_->setModel(&queue_);
    queue_view_->setItemDelegate(new ProgressDelegate(queue_view_));
    queue_view_->setSelectionBehavior(QAbstractItemView::SelectRows);
    queue_view_->setSelectionMode(QAbstractItemView::SingleSelection);
    queue_view_->verticalHeader()->hide();
    queue_view_->setWordWrap(false);
    queue_view_->setTextElideMode(Qt::ElideMiddle);
    queue_view_->horizontalHeader()->setSectionResizeMode(AlbumQueue::AlbumColumn, QHeaderView::Stretch);
    queue_view_->horizontalHeader()->resizeSection(AlbumQueue::PicturesColumn, 140);
    queue_view_->horizontalHeader()->resizeSection(AlbumQueue::StateColumn, 130);

    auto* below = new QSplitter(Qt::Horizontal, split);
    auto* details = new QWidget(below);
    auto* details_layout = new QVBoxLayout(details);
    details_layout->setContentsMargins(0, 0, 0, 0);
    log_view_ = new QPlainTextEdit(details);
    log_view_->setObjectName(QStringLiteral("log"));
    log_view_->setReadOnly(true);
    log_view_->setLineWrapMode(QPlainTextEdit::NoWrap);
    log_view_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    problem_view_ = new QTreeWidget(details);
    problem_view_->setObjectName(QStringLiteral("problems"));
    problem_view_->setHeaderLabels({QStringLiteral("What went wrong"), QStringLiteral("Why")});
    problem_view_->setRootIsDecorated(false);
    retry_failed_button_ = Button(QStringLiteral("retry-failed"), QStringLiteral("Retry the &failed pictures"), details);
    details_layout->addWidget(log_view_, 3);
    details_layout->addWidget(problem_view_, 1);
    details_layout->addWidget(retry_failed_button_, 0, Qt::AlignRight);
    thumbnails_ = new ThumbnailGrid(below);
    below->addWidget(details);
    below->addWidget(thumbnails_);
    below->setStretchFactor(0, 1);
    below->setStretchFactor(1, 1);
    split->addWidget(queue_view_);
    split->addWidget(below);
    split->setStretchFactor(0, 2);
    split->setStretchFactor(1, 3);
    layout->addWidget(split, 1);
    setCentralWidget(central);

    connect(address_, &QLineEdit::returnPressed, this, &ManagerWindow::OnAdd);
    connect(add_button_, &QPushButton::clicked, this, &ManagerWindow::OnAdd);
    connect(choose, &QPushButton::clicked, this, &ManagerWindow::ChooseDestination);
    connect(settings, &QPushButton::clicked, this, &ManagerWindow::EditSettings);
    connect(start_button_, &QPushButton::clicked, this, &ManagerWindow::StartQueue);
    connect(stop_button_, &QPushButton::clicked, this, &ManagerWindow::StopQueue);
    connect(cancel_button_, &QPushButton::clicked, this, &ManagerWindow::CancelSelected);
    connect(retry_button_, &QPushButton::clicked, this, &ManagerWindow::RetrySelected);
    connect(retry_failed_button_, &QPushButton::clicked, this, &ManagerWindow::RetrySelected);
    connect(remove_button_, &QPushButton::clicked, this, &ManagerWindow::RemoveSelected);
    connect(up_button_, &QPushButton::clicked, this, [this] { MoveSelected(-1); });
    connect(down_button_, &QPushButton::clicked, this, [this] { MoveSelected(1); });
    connect(folder_button_, &QPushButton::clicked, this, &ManagerWindow::OpenSelectedFolder);
    connect(queue_view_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            &ManagerWindow::ShowSelected);
    connect(&queue_, &QAbstractItemModel::dataChanged, this, &ManagerWindow::UpdateButtons);
    connect(thumbnails_, &ThumbnailGrid::PictureOpened, this, [this](const QString& path) { open_(path); });
    address_->setFocus();
}

QLineEdit* ManagerWindow::AddressEdit() const { return address_; }

void ManagerWindow::OnAdd() {
    const QString text = address_->text();
    if (text.trimmed().isEmpty()) return;
    address_->clear();
    QueueAddresses(text);
    StartQueue();
}

void ManagerWindow::QueueAddresses(const QString& text) {
    int first_row = -1;
    for (const std::string& listed : AddressesFromList(text.toStdString())) {
        const QString address = QString::fromStdString(listed).trimmed();
        if (address.isEmpty()) continue;
        const QString key = SameAlbumKey(address);
        const AlbumRow* same = nullptr;
        for (const AlbumRow& row : queue_.Rows()) {
            if (SameAlbumKey(row.address) == key) same = &row;
        }
        int id = 0;
        if (same) {
            id = same->id;
            if (same->state != RowState::Waiting && same->state != RowState::Downloading) {
                queue_.Update(id, [](AlbumRow& row) { row.state = RowState::Waiting; });
            }
        } else {
            id = queue_.Add(address, FolderFor(address));
        }
        if (first_row < 0) first_row = queue_.RowOf(id);
    }
    // Nothing shown yet: the first album queued, which is the first to run.
    if (first_row >= 0 && SelectedId() == 0) SelectRow(first_row);
    Save();
    UpdateButtons();
    // A queue that is going takes the new albums in turn.
    if (running_) RunNext();
}

QString ManagerWindow::FolderFor(const QString& address) const {
    namespace fs = std::filesystem;
    const fs::path base(destination_.toStdString());
    const QString key = SameAlbumKey(address);
    const std::string name = AlbumFolderName(address.toStdString(), [&](const std::string& candidate) {
        const QString folder = QString::fromStdString(candidate);
        for (const AlbumRow& row : queue_.Rows()) {
            if (row.folder == folder && SameAlbumKey(row.address) != key) return true;
        }
        std::error_code ec;
        const fs::file_type type = fs::symlink_status(base / candidate, ec).type();
        return type != fs::file_type::not_found && type != fs::file_type::directory;
    });
    return QString::fromStdString(name);
}

QString ManagerWindow::AlbumFolder(const AlbumRow& row) const {
    return destination_ + u'/' + row.folder + u'/' + QString::fromLatin1(kWorkingFolderName);
}

void ManagerWindow::StartQueue() {
    if (!running_) ran_since_start_ = false;
    running_ = true;
    Save();
    RunNext();
    UpdateButtons();
}

void ManagerWindow::StopQueue() {
    running_ = false;
    Save();
    runner_.Stop();
    UpdateButtons();
}

void ManagerWindow::RunNext() {
    if (!running_ || closed_ || runner_.Busy()) return;
    const AlbumRow* next = queue_.NextWaiting();
    if (!next) {
        running_ = false;
        Save();
        UpdateButtons();
        if (ran_since_start_) {
            int done = 0;
            int failed = 0;
            for (const AlbumRow& row : queue_.Rows()) {
                if (row.state == RowState::Done) ++done;
                if (row.state == RowState::Failed || row.state == RowState::DoneWithFailures) ++failed;
            }
            notifier_.Notify(QStringLiteral("Downloads finished"),
                             QStringLiteral("%1 albums done, %2 with failures").arg(done).arg(failed));
            emit QueueDone();
        }
        return;
    }
    ran_since_start_ = true;
    const int id = next->id;
    // The album's own folder below the destination, made here; the engine
    // makes its working folder inside.
    std::error_code ec;
    std::filesystem::create_directories((destination_ + u'/' + next->folder).toStdString(), ec);

    AlbumJob job;
    job.id = id;
    job.address = next->address.toStdString();
    job.folder = AlbumFolder(*next).toStdString();
    job.settings = Settings::FromEnvironment();
    std::string error;
    const SharedSettings shared = LoadSharedSettings(paths_.shared_settings.toStdString(), error);
    if (shared.jobs) job.settings.jobs = *shared.jobs;
    job.settings.retries = shared.retries;
    job.settings.rate_limit = shared.limit_rate;
    job.settings.picture_wait = shared.wait;
    job.cookie_file = shared.cookies;
    // The key of the shared file wins over GATHRIX_FLICKR_API_KEY, as on the
    // command line.
    if (!shared.flickr_api_key.empty()) job.settings.flickr_api_key = shared.flickr_api_key;
    job.settings.write_metadata = job.settings.write_metadata || shared.write_metadata;
    // Re-runs are safe: the folder keeps its record, pictures here are kept,
    // and one cut off is continued.
    job.settings.resume = true;

    queue_.Update(id, [&error](AlbumRow& row) {
        row.state = RowState::Downloading;
        row.problems.clear();
        row.log.clear();
        row.bytes = 0;
        row.rate = 0;
        if (!error.empty()) row.problems.append({QString(), QString::fromStdString(error)});
    });
    current_id_ = id;
    sample_time_ = std::chrono::steady_clock::now();
    sample_bytes_ = 0;
    if (SelectedId() == id) ShowSelected();
    Save();
    runner_.Start(job);
    UpdateButtons();
}

void ManagerWindow::OnLogReplaced(int id, const QString& text) {
    queue_.Update(id, [&text](AlbumRow& row) { row.log = text; });
    if (SelectedId() == id) log_view_->setPlainText(Displayable(QString(text).remove(u'\r')));
}

void ManagerWindow::OnLogAppended(int id, const QString& piece) {
    queue_.Update(id, [&piece](AlbumRow& row) { row.log += piece; });
    if (SelectedId() != id) return;
    QScrollBar* bar = log_view_->verticalScrollBar();
    const bool at_end = bar->value() == bar->maximum();
    QTextCursor cursor(log_view_->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(Displayable(QString(piece).remove(u'\r')));
    if (at_end) bar->setValue(bar->maximum());
}

void ManagerWindow::OnStored(int id, qint64 count) {
    queue_.Update(id, [count](AlbumRow& row) { row.stored = count; });
    // The folder is looked at again a moment later, once for the pictures
    // stored meanwhile.
    if (SelectedId() == id && !refresh_thumbnails_.isActive()) refresh_thumbnails_.start();
}

void ManagerWindow::OnProgress(int id, qint64 album_bytes, qint64 stored) {
    const auto now = std::chrono::steady_clock::now();
    const double seconds = std::chrono::duration<double>(now - sample_time_).count();
    const double rate = seconds > 0 ? static_cast<double>(album_bytes - sample_bytes_) / seconds : 0;
    if (seconds >= 0.5) {
        sample_time_ = now;
        sample_bytes_ = album_bytes;
    }
    queue_.Update(id, [&](AlbumRow& row) {
        row.bytes = album_bytes;
        row.stored = std::max<std::int64_t>(row.stored, stored);
        if (seconds >= 0.5) row.rate = rate;
    });
}

void ManagerWindow::OnProblem(int id, const QString& what, const QString& reason) {
    queue_.Update(id, [&](AlbumRow& row) { row.problems.append({what, reason}); });
    if (SelectedId() == id) {
        new QTreeWidgetItem(problem_view_, {Displayable(what.isEmpty() ? QStringLiteral("the album") : what),
                                            Displayable(reason)});
    }
}

void ManagerWindow::OnFinished(int id, RunEnd end) {
    current_id_ = 0;
    const bool cancelled = cancel_id_ == id;
    cancel_id_ = 0;
    queue_.Update(id, [&](AlbumRow& row) {
        row.rate = 0;
        const bool album_failed = std::any_of(row.problems.begin(), row.problems.end(),
                                              [](const Problem& problem) { return problem.what.isEmpty(); });
        if (end == RunEnd::Stopped) {
            row.state = cancelled ? RowState::Cancelled : RowState::Waiting;
        } else if (end != RunEnd::Completed || (album_failed && row.stored == 0)) {
            row.state = RowState::Failed;
        } else if (!row.problems.isEmpty()) {
            row.state = row.stored == 0 ? RowState::Failed : RowState::DoneWithFailures;
        } else {
            row.state = RowState::Done;
        }
    });
    if (SelectedId() == id) thumbnails_->Refresh();
    Save();
    UpdateButtons();
    RunNext();
}

void ManagerWindow::CancelSelected() {
    const int id = SelectedId();
    const AlbumRow* row = queue_.Find(id);
    if (!row) return;
    if (row->state == RowState::Downloading) {
        cancel_id_ = id;
        runner_.Stop();
    } else if (row->state == RowState::Waiting) {
        queue_.Update(id, [](AlbumRow& r) { r.state = RowState::Cancelled; });
        Save();
    }
    UpdateButtons();
}

void ManagerWindow::RetrySelected() {
    const int id = SelectedId();
    const AlbumRow* row = queue_.Find(id);
    if (!row || row->state == RowState::Downloading || row->state == RowState::Waiting) return;
    queue_.Update(id, [](AlbumRow& r) { r.state = RowState::Waiting; });
    StartQueue();
}

void ManagerWindow::RemoveSelected() {
    const int id = SelectedId();
    const AlbumRow* row = queue_.Find(id);
    if (!row || row->state == RowState::Downloading) return;
    queue_.Remove(id);
    Save();
    ShowSelected();
    UpdateButtons();
}

void ManagerWindow::MoveSelected(int delta) {
    const int id = SelectedId();
    queue_.Move(id, delta);
    if (const int row = queue_.RowOf(id); row >= 0) SelectRow(row);
    Save();
}

void ManagerWindow::OpenSelectedFolder() {
    if (const AlbumRow* row = queue_.Find(SelectedId())) open_(AlbumFolder(*row));
}

void ManagerWindow::SelectRow(int row) {
    queue_view_->selectionModel()->setCurrentIndex(queue_.index(row, 0),
                                                   QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

int ManagerWindow::SelectedId() const {
    const QModelIndex current = queue_view_->selectionModel()->currentIndex();
    if (!current.isValid() || current.row() >= queue_.Rows().size()) return 0;
    return queue_.Rows()[current.row()].id;
}

void ManagerWindow::ShowSelected() {
    const AlbumRow* row = queue_.Find(SelectedId());
    problem_view_->clear();
    if (!row) {
        log_view_->clear();
        thumbnails_->ShowFolder(QString());
        UpdateButtons();
        return;
    }
    log_view_->setPlainText(Displayable(QString(row->log).remove(u'\r')));
    log_view_->verticalScrollBar()->setValue(log_view_->verticalScrollBar()->maximum());
    for (const Problem& problem : row->problems) {
        new QTreeWidgetItem(problem_view_, {Displayable(problem.what.isEmpty() ? QStringLiteral("the album")
                                                                                : problem.what),
                                            Displayable(problem.reason)});
    }
    const QString folder = AlbumFolder(*row);
    if (thumbnails_->Folder() != folder) {
        thumbnails_->ShowFolder(folder);
    } else {
        thumbnails_->Refresh();
    }
    UpdateButtons();
}

void ManagerWindow::UpdateButtons() {
    const AlbumRow* row = queue_.Find(SelectedId());
    const bool downloading = row && row->state == RowState::Downloading;
    const bool finished = row && row->state != RowState::Downloading && row->state != RowState::Waiting;
    start_button_->setEnabled(!running_ && queue_.NextWaiting() != nullptr);
    stop_button_->setEnabled(running_);
    cancel_button_->setEnabled(row && (downloading || row->state == RowState::Waiting));
    retry_button_->setEnabled(finished);
    retry_failed_button_->setEnabled(finished && !row->problems.isEmpty());
    remove_button_->setEnabled(row && !downloading);
    up_button_->setEnabled(row && queue_.RowOf(row->id) > 0);
    down_button_->setEnabled(row && queue_.RowOf(row->id) + 1 < queue_.rowCount());
    folder_button_->setEnabled(row != nullptr);
}

void ManagerWindow::SetDestination(const QString& folder) {
    if (folder.isEmpty()) return;
    destination_ = QDir::cleanPath(folder);
    destination_label_->setText(QDir::toNativeSeparators(destination_));
    QSettings own(paths_.own_settings, QSettings::IniFormat);
    own.setValue(QStringLiteral("destination"), destination_);
}

void ManagerWindow::ChooseDestination() {
    const QString folder = QFileDialog::getExistingDirectory(this, QStringLiteral("Save albums in"), destination_);
    if (!folder.isEmpty()) SetDestination(folder);
}

void ManagerWindow::EditSettings() {
    std::string error;
    SharedSettings settings = LoadSharedSettings(paths_.shared_settings.toStdString(), error);
    if (!error.empty()) {
        QMessageBox::warning(this, QStringLiteral("Settings"),
                             QStringLiteral("The settings file has a mistake; fix it first:\n") +
                                 Displayable(QString::fromStdString(error)));
        return;
    }
    SettingsDialog dialog(settings, this);
    if (dialog.exec() != QDialog::Accepted) return;
    if (!SaveSharedSettings(paths_.shared_settings.toStdString(), dialog.Settings(), error)) {
        QMessageBox::warning(this, QStringLiteral("Settings"),
                             QStringLiteral("The settings could not be saved: ") +
                                 Displayable(QString::fromStdString(error)));
    }
}

void ManagerWindow::Save() const {
    QDir().mkpath(paths_.state_dir);
    QJsonObject json = queue_.ToJson();
    json.insert(QStringLiteral("running"), running_);
    // A new file renamed over the old one, so that the queue is never half
    // written; not waited for on the disk (QSaveFile would), which after a
    // download would keep the window waiting until every picture it wrote
    // is on the disk.
    const QString path = paths_.state_dir + QStringLiteral("/queue.json");
    QFile file(path + QStringLiteral(".new"));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return;
    const QByteArray text = QJsonDocument(json).toJson(QJsonDocument::Indented);
    const bool written = file.write(text) == text.size() && file.flush();
    file.close();
    if (!written || ::rename(QFile::encodeName(file.fileName()).constData(), QFile::encodeName(path).constData()) != 0)
        file.remove();
}

void ManagerWindow::Load() {
    QFile file(paths_.state_dir + QStringLiteral("/queue.json"));
    if (!file.open(QIODevice::ReadOnly)) return;
    const QJsonObject json = QJsonDocument::fromJson(file.readAll()).object();
    queue_.FromJson(json);
    if (queue_.rowCount() > 0) SelectRow(0);
    // A queue that was going when the manager closed goes on.
    if (json.value(QStringLiteral("running")).toBool() && queue_.NextWaiting()) {
        QMetaObject::invokeMethod(this, &ManagerWindow::StartQueue, Qt::QueuedConnection);
    }
}

void ManagerWindow::closeEvent(QCloseEvent* event) {
    if (runner_.Busy()) {
        if (!ask_stop_()) {
            event->ignore();
            return;
        }
        // The album stopped waits again; the queue stays marked as going, so
        // the next start takes it up.
        const int id = current_id_;
        closed_ = true;
        runner_.Shutdown();
        queue_.Update(id, [](AlbumRow& row) { row.state = RowState::Waiting; });
        current_id_ = 0;
    }
    Save();
    QSettings own(paths_.own_settings, QSettings::IniFormat);
    own.setValue(QStringLiteral("size"), size());
    event->accept();
}

void ManagerWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls() || event->mimeData()->hasText()) event->acceptProposedAction();
}

void ManagerWindow::dropEvent(QDropEvent* event) {
    if (QueueDropped(*event->mimeData())) event->acceptProposedAction();
}

bool ManagerWindow::QueueDropped(const QMimeData& dropped) {
    QString text;
    if (dropped.hasUrls()) {
        // Links from a browser; a file of this machine is no album.
        for (const QUrl& url : dropped.urls()) {
            if (!url.isLocalFile()) text += url.toString() + u'\n';
        }
    } else {
        text = dropped.text();
    }
    if (text.trimmed().isEmpty()) return false;
    QueueAddresses(text);
    StartQueue();
    return true;
}

}  // namespace gathrix::manager
