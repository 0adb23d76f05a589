#include "manager/album_runner.h"

#include <QMetaObject>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "cli/failure_text.h"
#include "download/cookie_store.h"
#include "download/download_command.h"

namespace gathrix::manager {

namespace {

QString FromUtf8(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

// The run's events turned into the runner's signals. Called on the runner's
// thread; the signals reach the window through its event loop. Progress goes
// out at most every kProgressEvery.
class QueuedEvents : public RunEvents {
public:
    QueuedEvents(AlbumRunner& runner, int id) : runner_(runner), id_(id) {}

    void LogReplaced(std::string_view text) override { emit runner_.LogReplaced(id_, FromUtf8(text)); }
    void LogAppended(std::string_view piece) override { emit runner_.LogAppended(id_, FromUtf8(piece)); }
    void LogCleared() override { emit runner_.LogReplaced(id_, QString()); }
    void PicturesStored(std::int64_t count) override { emit runner_.PicturesStored(id_, count); }
    void PicturesListed(std::int64_t count) override { emit runner_.PicturesListed(id_, count); }
    void AlbumTitled(std::string_view title) override { emit runner_.AlbumTitled(id_, FromUtf8(title)); }
    // Boxes are for the classic window; here the log and the problems tell it.
    void Message(std::string_view text, std::string_view title, BoxIcon icon) override {
        if (icon == BoxIcon::Critical) emit runner_.ProblemFound(id_, QString(), FromUtf8(text));
        (void)title;
    }
    void Progress(const TransferProgress& progress) override {
        const auto now = std::chrono::steady_clock::now();
        if (now - last_progress_ < AlbumRunner::kProgressEvery) return;
        last_progress_ = now;
        emit runner_.Progress(id_, progress.album_bytes, progress.stored);
    }
    std::optional<std::chrono::milliseconds> ProgressEvery() const override { return AlbumRunner::kProgressEvery; }
    void PageFailed(std::string_view address, const Failure& why) override {
        page_failed_ = true;
        emit runner_.ProblemFound(id_, FromUtf8(address), FromUtf8(FailureText(why)));
    }
    void FolderFailed(const Failure& why) override {
        emit runner_.ProblemFound(id_, QString(), FromUtf8(FailureText(why)));
    }
    void PictureMissing(std::string_view address, const Failure& why) override {
        // A picture given up on a stop is no failure: the next run goes on with it.
        if (why.kind == FailureKind::Stopped) return;
        emit runner_.ProblemFound(id_, FromUtf8(address), FromUtf8(FailureText(why)));
    }
    void NoPicturesListed(std::string_view /*album_address*/) override {
        // After a page that failed, that page's reason says it all.
        if (page_failed_) return;
        emit runner_.ProblemFound(id_, QString(), QStringLiteral("the album's pages listed no pictures"));
    }
    void RecordNotKept(const std::filesystem::path& record, std::string_view why) override {
        emit runner_.ProblemFound(id_, FromUtf8(record.string()),
                                  QStringLiteral("the folder's record could not be kept: ") + FromUtf8(why));
    }

private:
    AlbumRunner& runner_;
    int id_;
    std::chrono::steady_clock::time_point last_progress_{};
    bool page_failed_ = false;
};

}  // namespace

AlbumRunner::AlbumRunner(QObject* parent) : QObject(parent) {
    qRegisterMetaType<gathrix::manager::RunEnd>();
    on_thread_ = new QObject();
    on_thread_->moveToThread(&thread_);
    connect(&thread_, &QThread::finished, on_thread_, &QObject::deleteLater);
    thread_.setObjectName(QStringLiteral("album runner"));
    thread_.start();
    // The window's own record of whether a run is going.
    connect(this, &AlbumRunner::Finished, this, [this] { busy_ = false; });
}

AlbumRunner::~AlbumRunner() { Shutdown(); }

bool AlbumRunner::Start(const AlbumJob& job) {
    if (busy_ || !thread_.isRunning()) return false;
    busy_ = true;
    cancel_.ClearStop();
    QMetaObject::invokeMethod(on_thread_, [this, job] { Run(job); }, Qt::QueuedConnection);
    return true;
}

void AlbumRunner::Stop() {
    if (busy_) cancel_.RequestStop();
}

void AlbumRunner::Shutdown() {
    if (!thread_.isRunning()) return;
    cancel_.RequestStop();
    thread_.quit();
    thread_.wait();
}

void AlbumRunner::Run(const AlbumJob& job) {
    QueuedEvents events(*this, job.id);
    Settings settings = job.settings;
    std::unique_ptr<CookieStore> cookies;
    if (!job.cookie_file.empty()) {
        // A regular file only, and at most 64 MiB of it: a pipe may never end.
        constexpr std::uintmax_t kMaxCookieBytes = 64 * 1024 * 1024;
        std::error_code ec;
        const bool regular = std::filesystem::is_regular_file(job.cookie_file, ec);
        std::stringstream text;
        if (regular && std::filesystem::file_size(job.cookie_file, ec) <= kMaxCookieBytes && !ec) {
            std::ifstream file(job.cookie_file, std::ios::binary);
            text << file.rdbuf();
            std::size_t lines = 0;
            if (file) cookies = CookieStore::FromText(text.str(), lines);
        }
        if (!cookies) {
            emit ProblemFound(job.id, QString::fromStdString(job.cookie_file),
                              QStringLiteral("the cookie file could not be read"));
        }
        settings.cookies = cookies.get();
    }
    const DownloadOutcome outcome = RunDownload(events, job.address, job.folder, settings, &cancel_);
    RunEnd end = RunEnd::Completed;
    switch (outcome) {
        case DownloadOutcome::Completed:
        case DownloadOutcome::EmptyAddress:
            break;
        case DownloadOutcome::InvalidUrl:
        case DownloadOutcome::Rejected:
            end = RunEnd::Refused;
            break;
        case DownloadOutcome::NoFolder:
            end = RunEnd::NoFolder;
            break;
    }
    if (cancel_.StopRequested()) end = RunEnd::Stopped;
    emit Finished(job.id, end);
}

}  // namespace gathrix::manager
