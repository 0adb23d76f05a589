#pragma once
// The queue of albums: one row per album, with what became of it, kept as a
// table model for the window and written to a JSON file that survives a
// restart.

#include <QAbstractTableModel>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <cstdint>

namespace gathrix::manager {

enum class RowState { Waiting, Downloading, Done, DoneWithFailures, Failed, Cancelled };

// "waiting", "downloading", "done", "done with failures", "failed", "cancelled".
QString StateText(RowState state);

// What went wrong with one picture or page, or with the album as a whole
// (what is empty then), in words.
struct Problem {
    QString what;
    QString reason;
    bool operator==(const Problem&) const = default;
};

struct AlbumRow {
    int id = 0;              // unique in the queue, for the runs to name their row
    QString address;         // as the user gave it
    QString title;           // the album's title when the service gave one
    QString folder;          // the album's folder: one name, below the destination
    RowState state = RowState::Waiting;
    std::int64_t stored = 0;    // pictures stored (or already here)
    std::int64_t listed = 0;    // pictures the album's pages listed
    std::int64_t bytes = 0;     // bytes received in the last run
    double rate = 0;            // bytes a second now (not kept)
    QList<Problem> problems;    // of the last run
    QString log;                // the last run's log, as the command line writes it
};

class AlbumQueue : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column { AlbumColumn, StateColumn, PicturesColumn, BytesColumn, RateColumn, ProgressColumn, ColumnCount };
    // The progress of a row, 0 to 100, under this role of ProgressColumn
    // (for the bar), and -1 while nothing is known.
    static constexpr int kPercentRole = Qt::UserRole + 1;

    explicit AlbumQueue(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // A new waiting row for address in folder; returns its id.
    int Add(const QString& address, const QString& folder);
    const QList<AlbumRow>& Rows() const { return rows_; }
    // The row of id, or nullptr.
    const AlbumRow* Find(int id) const;
    int RowOf(int id) const;  // -1 when there is none
    // Changes the row of id (nothing when there is none) and tells the views.
    template <typename Change>
    void Update(int id, Change change) {
        const int row = RowOf(id);
        if (row < 0) return;
        change(rows_[row]);
        emit dataChanged(index(row, 0), index(row, ColumnCount - 1));
    }
    void Remove(int id);
    // Moves the row of id by delta places, within the queue.
    void Move(int id, int delta);
    // The first waiting row, or nullptr.
    const AlbumRow* NextWaiting() const;

    // The queue as JSON, and back (rows that make no sense are left out;
    // a row that was downloading is waiting again).
    QJsonObject ToJson() const;
    void FromJson(const QJsonObject& json);

private:
    QList<AlbumRow> rows_;
    int next_id_ = 1;
};

// "1.5 MiB", "300 B", "12.0 KiB".
QString BytesText(std::int64_t bytes);

// Text from a server or the disk made fit to show: control characters
// other than line ends and tabs become U+FFFD.
QString Displayable(QString text);

// Whether name is fit to be an album's folder below the destination: one
// path segment, not "." or "..", no control characters.
bool IsFolderName(const QString& name);

}  // namespace gathrix::manager
