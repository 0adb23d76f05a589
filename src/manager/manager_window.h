#pragma once
// The download manager's window: an address field that queues albums, the
// queue with each album's state and progress, and for the selected album its
// log, what went wrong and why, and its pictures as they arrive. Albums run
// one after another on the runner's thread; the window never waits for them.

#include <QMainWindow>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <chrono>
#include <cstdint>
#include <functional>

#include "manager/album_queue.h"
#include "manager/album_runner.h"

class QLabel;
class QMimeData;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTableView;
class QTreeWidget;

namespace gathrix::manager {

class AddressField;
class Notifier;
class ThumbnailGrid;

// Where the manager keeps its things.
struct ManagerPaths {
    QString state_dir;         // the queue: $XDG_STATE_HOME/gathrix, else ~/.local/state/gathrix
    QString own_settings;      // window size, destination: $XDG_CONFIG_HOME/gathrix/gathrix-manager.conf
    QString shared_settings;   // gathrix-cli's configuration file
    QString default_destination;  // ~/Pictures/Gathrix
    static ManagerPaths FromEnvironment();
};

class ManagerWindow : public QMainWindow {
    Q_OBJECT

public:
    // How long after a picture is stored the thumbnails look at the folder again.
    static constexpr std::chrono::milliseconds kThumbnailRefreshEvery{200};

    // notifier tells the desktop when the queue is done; it must outlive the window.
    ManagerWindow(ManagerPaths paths, Notifier& notifier);
    ~ManagerWindow() override;

    // Queues each address of text (one a line; blank lines and "#" lines
    // skipped). An album that is in the queue already is not queued twice: a
    // finished one is run again (which fetches only what is missing). When
    // no album is selected, the first one queued is.
    void QueueAddresses(const QString& text);
    // What was dropped on the window (links, or text), queued and started;
    // false when it holds no address.
    bool QueueDropped(const QMimeData& dropped);
    // Runs the waiting albums one after another.
    void StartQueue();
    // Stops the album that is downloading (it waits again, its pictures kept)
    // and runs no more until StartQueue.
    void StopQueue();
    // The selected row: cancelled, run again, removed, moved.
    void CancelSelected();
    void RetrySelected();
    void RemoveSelected();
    void MoveSelected(int delta);
    void OpenSelectedFolder();
    void SelectRow(int row);

    bool Running() const { return running_; }
    const AlbumQueue& Queue() const { return queue_; }
    QString Destination() const { return destination_; }
    void SetDestination(const QString& folder);
    // The folder whose pictures an album's run stores.
    QString AlbumFolder(const AlbumRow& row) const;
    // Closing while albums download asks this (the default: a question box)
    // whether to stop them; false keeps the window open.
    void SetStopQuestion(std::function<bool()> ask) { ask_stop_ = std::move(ask); }
    // Opens a file or folder on the desktop (the default: QDesktopServices).
    void SetOpener(std::function<void(const QString&)> open) { open_ = std::move(open); }

    // The controls the tests type into and read.
    QLineEdit* AddressEdit() const;
    QTableView* QueueView() const { return queue_view_; }
    QPlainTextEdit* LogView() const { return log_view_; }
    QTreeWidget* ProblemView() const { return problem_view_; }
    ThumbnailGrid* Thumbnails() const { return thumbnails_; }

signals:
    // The queue ran to its end: no album is waiting any more.
    void QueueDone();

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void MakeControls();
    void OnAdd();
    void ChooseDestination();
    void EditSettings();
    void RunNext();
    void ShowSelected();
    void UpdateButtons();
    int SelectedId() const;
    QString FolderFor(const QString& address) const;
    void Save() const;
    void Load();

    void OnLogReplaced(int id, const QString& text);
    void OnLogAppended(int id, const QString& piece);
    void OnStored(int id, qint64 count);
    void OnProgress(int id, qint64 album_bytes, qint64 stored);
    void OnProblem(int id, const QString& what, const QString& reason);
    void OnFinished(int id, RunEnd end);

    ManagerPaths paths_;
    Notifier& notifier_;
    AlbumQueue queue_;
    AlbumRunner runner_;
    QString destination_;
    bool running_ = false;
    bool closed_ = false;           // the window closed: nothing more runs
    bool ran_since_start_ = false;  // an album ran since the queue last started
    int current_id_ = 0;            // the row downloading, or 0
    int cancel_id_ = 0;             // the row whose run is being cancelled
    // The last progress sample of the current run, for its rate.
    std::chrono::steady_clock::time_point sample_time_{};
    std::int64_t sample_bytes_ = 0;
    QTimer refresh_thumbnails_;
    std::function<bool()> ask_stop_;
    std::function<void(const QString&)> open_;

    AddressField* address_ = nullptr;
    QPushButton* add_button_ = nullptr;
    QLabel* destination_label_ = nullptr;
    QPushButton* start_button_ = nullptr;
    QPushButton* stop_button_ = nullptr;
    QPushButton* cancel_button_ = nullptr;
    QPushButton* retry_button_ = nullptr;
    QPushButton* remove_button_ = nullptr;
    QPushButton* up_button_ = nullptr;
    QPushButton* down_button_ = nullptr;
    QPushButton* folder_button_ = nullptr;
    QTableView* queue_view_ = nullptr;
    QPlainTextEdit* log_view_ = nullptr;
    QTreeWidget* problem_view_ = nullptr;
    QPushButton* retry_failed_button_ = nullptr;
    ThumbnailGrid* thumbnails_ = nullptr;
};

}  // namespace gathrix::manager
