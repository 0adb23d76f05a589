#pragma once
// The engine on a thread of its own. The window hands over one album at a
// time (Start) and hears of the run through queued signals, so that it never
// waits for the network or the disk; Stop may be called at any moment.

#include <QObject>
#include <QString>
#include <QThread>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>

#include "download/settings.h"
#include "events/run_events.h"

namespace gathrix::manager {

// How an album run ended, for the window.
enum class RunEnd {
    Completed,   // the album's pages were read (pictures may be missing)
    Refused,     // the address is no album address, or the service refused it
    NoFolder,    // the folder could not be made or used
    Stopped,     // Stop() was called during the run
};

struct AlbumJob {
    int id = 0;
    std::string address;
    std::filesystem::path folder;  // the working folder of the run (its parent exists)
    Settings settings;
    std::string cookie_file;  // the cookies sent (a Netscape cookie file); empty: none
};

class AlbumRunner : public QObject {
    Q_OBJECT

public:
    // How often a run tells its progress.
    static constexpr std::chrono::milliseconds kProgressEvery{100};

    explicit AlbumRunner(QObject* parent = nullptr);
    ~AlbumRunner() override;  // stops a run that is going, and waits for it

    // Runs job on the runner's thread; Busy() until Finished. One at a time:
    // false (nothing done) while another runs.
    bool Start(const AlbumJob& job);
    bool Busy() const { return busy_; }
    // From the window's thread: ends the run that is going soon (within
    // Cancellation::kStopCheckEvery while a picture comes in), keeping what
    // came for resuming. Finished then says Stopped.
    void Stop();
    // Stops and waits until the thread is done (the window closing).
    void Shutdown();

signals:
    // The run's events, in order, on the window's thread. Text is UTF-8 as
    // the engine gave it; log pieces are as the command line writes them.
    void LogReplaced(int id, const QString& text);
    void LogAppended(int id, const QString& piece);
    void PicturesStored(int id, qint64 count);
    void PicturesListed(int id, qint64 count);
    void AlbumTitled(int id, const QString& title);
    void Progress(int id, qint64 album_bytes, qint64 stored);
    // A picture, a page or the album that failed, and why in words.
    void ProblemFound(int id, const QString& what, const QString& reason);
    void Finished(int id, gathrix::manager::RunEnd end);

private:
    void Run(const AlbumJob& job);

    QThread thread_;
    QObject* on_thread_ = nullptr;  // lives on thread_: runs are queued to it
    Cancellation cancel_;
    bool busy_ = false;  // read and written on the window's thread only
};

}  // namespace gathrix::manager

Q_DECLARE_METATYPE(gathrix::manager::RunEnd)
