#include "manager/album_queue.h"

#include <QJsonArray>
#include <algorithm>

namespace gathrix::manager {

namespace {

// The longest log kept of a row: its end, where the last run's result is.
constexpr qsizetype kMaxKeptLog = 512 * 1024;

const char* const kStateNames[] = {"waiting", "downloading", "done", "done with failures", "failed", "cancelled"};

RowState StateNamed(const QString& name) {
    for (int i = 0; i < 6; ++i) {
        if (name == QLatin1String(kStateNames[i])) return static_cast<RowState>(i);
    }
    return RowState::Waiting;
}

}  // namespace

QString StateText(RowState state) { return QString::fromLatin1(kStateNames[static_cast<int>(state)]); }

QString BytesText(std::int64_t bytes) {
    if (bytes < 1024) return QString::number(bytes) + QStringLiteral(" B");
    const char* const units[] = {"KiB", "MiB", "GiB", "TiB"};
    double value = static_cast<double>(bytes) / 1024;
    int unit = 0;
    while (value >= 1024 && unit < 3) {
        value /= 1024;
        ++unit;
    }
    return QString::number(value, 'f', 1) + u' ' + QLatin1String(units[unit]);
}

QString Displayable(QString text) {
    for (QChar& c : text) {
        const char16_t u = c.unicode();
        if ((u < 0x20 && u != u'\n' && u != u'\t') || u == 0x7f || (u >= 0x80 && u < 0xa0) || u == 0x2028 ||
            u == 0x2029 || (u >= 0x202a && u <= 0x202e) || (u >= 0x2066 && u <= 0x2069)) {
            c = QChar(0xfffd);
        }
    }
    return text;
}

bool IsFolderName(const QString& name) {
    if (name.isEmpty() || name == QStringLiteral(".") || name == QStringLiteral("..")) return false;
    return std::none_of(name.begin(), name.end(), [](QChar c) { return c == u'/' || c.unicode() < 0x20; });
}

AlbumQueue::AlbumQueue(QObject* parent) : QAbstractTableModel(parent) {}

int AlbumQueue::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int AlbumQueue::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : ColumnCount; }

QVariant AlbumQueue::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rows_.size()) return {};
    const AlbumRow& row = rows_[index.row()];
    if (role == kPercentRole) {
        if (row.state == RowState::Done) return 100;
        if (row.listed <= 0) return -1;
        return static_cast<int>(std::min<std::int64_t>(100, row.stored * 100 / row.listed));
    }
    if (role == Qt::ToolTipRole && index.column() == AlbumColumn) return Displayable(row.address);
    if (role != Qt::DisplayRole) return {};
    switch (index.column()) {
        case AlbumColumn:
            return Displayable(row.title.isEmpty() ? row.address : row.title);
        case StateColumn:
            return StateText(row.state);
        case PicturesColumn:
            if (row.listed == 0 && row.stored == 0) return QString();
            return QStringLiteral("%1 of %2 pictures").arg(row.stored).arg(row.listed);
        case BytesColumn:
            return row.bytes > 0 ? BytesText(row.bytes) : QString();
        case RateColumn:
            return row.state == RowState::Downloading && row.rate > 0
                       ? BytesText(static_cast<std::int64_t>(row.rate)) + QStringLiteral("/s")
                       : QString();
        default:
            return {};
    }
}

QVariant AlbumQueue::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    const char* const names[] = {"Album", "State", "Pictures", "Bytes", "Rate", "Progress"};
    return section >= 0 && section < ColumnCount ? QString::fromLatin1(names[section]) : QVariant();
}

int AlbumQueue::Add(const QString& address, const QString& folder) {
    AlbumRow row;
    row.id = next_id_++;
    row.address = address;
    row.folder = folder;
    const int at = static_cast<int>(rows_.size());
    beginInsertRows({}, at, at);
    rows_.append(row);
    endInsertRows();
    return row.id;
}

const AlbumRow* AlbumQueue::Find(int id) const {
    const int row = RowOf(id);
    return row < 0 ? nullptr : &rows_[row];
}

int AlbumQueue::RowOf(int id) const {
    for (qsizetype i = 0; i < rows_.size(); ++i) {
        if (rows_[i].id == id) return static_cast<int>(i);
    }
    return -1;
}

void AlbumQueue::Remove(int id) {
    const int row = RowOf(id);
    if (row < 0) return;
    beginRemoveRows({}, row, row);
    rows_.removeAt(row);
    endRemoveRows();
}

void AlbumQueue::Move(int id, int delta) {
    const int from = RowOf(id);
    const int to = from + delta;
    if (from < 0 || to < 0 || to >= rows_.size() || delta == 0) return;
    // beginMoveRows names the place before which the row goes.
    beginMoveRows({}, from, from, {}, delta > 0 ? to + 1 : to);
    rows_.move(from, to);
    endMoveRows();
}

const AlbumRow* AlbumQueue::NextWaiting() const {
    for (const AlbumRow& row : rows_) {
        if (row.state == RowState::Waiting) return &row;
    }
    return nullptr;
}

QJsonObject AlbumQueue::ToJson() const {
    QJsonArray albums;
    for (const AlbumRow& row : rows_) {
        QJsonArray problems;
        for (const Problem& problem : row.problems) {
            problems.append(QJsonObject{{QStringLiteral("what"), problem.what}, {QStringLiteral("reason"), problem.reason}});
        }
        albums.append(QJsonObject{
            {QStringLiteral("address"), row.address},
            {QStringLiteral("title"), row.title},
            {QStringLiteral("folder"), row.folder},
            {QStringLiteral("state"), StateText(row.state)},
            {QStringLiteral("stored"), static_cast<double>(row.stored)},
            {QStringLiteral("listed"), static_cast<double>(row.listed)},
            {QStringLiteral("bytes"), static_cast<double>(row.bytes)},
            {QStringLiteral("problems"), problems},
            {QStringLiteral("log"), row.log.right(kMaxKeptLog)},
        });
    }
    return QJsonObject{{QStringLiteral("albums"), albums}};
}

void AlbumQueue::FromJson(const QJsonObject& json) {
    beginResetModel();
    rows_.clear();
    for (const QJsonValue& value : json.value(QStringLiteral("albums")).toArray()) {
        const QJsonObject album = value.toObject();
        AlbumRow row;
        row.address = album.value(QStringLiteral("address")).toString();
        row.folder = album.value(QStringLiteral("folder")).toString();
        if (row.address.trimmed().isEmpty() || !IsFolderName(row.folder)) continue;
        row.id = next_id_++;
        row.title = album.value(QStringLiteral("title")).toString();
        row.state = StateNamed(album.value(QStringLiteral("state")).toString());
        if (row.state == RowState::Downloading) row.state = RowState::Waiting;
        row.stored = static_cast<std::int64_t>(album.value(QStringLiteral("stored")).toDouble());
        row.listed = static_cast<std::int64_t>(album.value(QStringLiteral("listed")).toDouble());
        row.bytes = static_cast<std::int64_t>(album.value(QStringLiteral("bytes")).toDouble());
        for (const QJsonValue& problem : album.value(QStringLiteral("problems")).toArray()) {
            row.problems.append({problem.toObject().value(QStringLiteral("what")).toString(),
                                 problem.toObject().value(QStringLiteral("reason")).toString()});
        }
        row.log = album.value(QStringLiteral("log")).toString();
        rows_.append(row);
    }
    endResetModel();
}

}  // namespace gathrix::manager
