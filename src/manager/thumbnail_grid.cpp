#include "manager/thumbnail_grid.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QPainter>
#include <QPixmap>
#include <QPointer>
#include <QThreadPool>

namespace gathrix::manager {

namespace {

// A grey square with a cross: a file that is no picture Qt can show.
QIcon Placeholder(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(QColor(224, 224, 224));
    QPainter painter(&pixmap);
    painter.setPen(QPen(QColor(160, 160, 160), 2));
    painter.drawRect(1, 1, size - 2, size - 2);
    painter.drawLine(size / 4, size / 4, size * 3 / 4, size * 3 / 4);
    painter.drawLine(size * 3 / 4, size / 4, size / 4, size * 3 / 4);
    return QIcon(pixmap);
}

// A picture is waiting for its thumbnail: blank.
QIcon Waiting(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(QColor(245, 245, 245));
    return QIcon(pixmap);
}

}  // namespace

ThumbnailGrid::ThumbnailGrid(QWidget* parent) : QListWidget(parent) {
    setObjectName(QStringLiteral("thumbnails"));
    setViewMode(QListView::IconMode);
    setIconSize(QSize(kThumbnailSize, kThumbnailSize));
    setGridSize(QSize(kThumbnailSize + 24, kThumbnailSize + 30));
    setResizeMode(QListView::Adjust);
    setMovement(QListView::Static);
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setWordWrap(false);
    setTextElideMode(Qt::ElideMiddle);
    connect(this, &QListWidget::itemActivated, this,
            [this](QListWidgetItem* item) { emit PictureOpened(item->data(Qt::UserRole).toString()); });
}

QImage ThumbnailGrid::Thumbnail(const QString& path, int size) {
    QImageReader reader(path);
    reader.setAutoTransform(true);
    const QSize full = reader.size();
    if (full.isValid() && (full.width() > size || full.height() > size)) {
        reader.setScaledSize(full.scaled(size, size, Qt::KeepAspectRatio));
    }
    QImage image = reader.read();
    if (image.isNull()) return image;
    if (image.width() > size || image.height() > size) {
        image = image.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    }
    return image;
}

void ThumbnailGrid::ShowFolder(const QString& folder) {
    clear();
    items_.clear();
    folder_ = folder;
    Refresh();
}

void ThumbnailGrid::Refresh() {
    if (folder_.isEmpty()) return;
    const QDir dir(folder_);
    // Regular files only: a link could lead anywhere, and hidden files are
    // the engine's own (its record, kept bodies).
    const QFileInfoList files = dir.entryInfoList(QDir::Files | QDir::NoSymLinks, QDir::Name);
    for (const QFileInfo& file : files) {
        const QString path = file.filePath();
        if (items_.contains(path)) continue;
        auto* item = new QListWidgetItem(Waiting(kThumbnailSize), file.fileName(), this);
        item->setData(Qt::UserRole, path);
        item->setToolTip(file.fileName());
        items_.insert(path, item);
        const QString folder = folder_;
        QPointer<ThumbnailGrid> grid(this);
        // The grid is looked at on the window's thread only: the thumbnail
        // goes back through the application, which outlives every grid.
        QThreadPool::globalInstance()->start([grid, folder, path] {
            const QImage image = Thumbnail(path, kThumbnailSize);
            QMetaObject::invokeMethod(
                QCoreApplication::instance(),
                [grid, folder, path, image] {
                    if (grid) grid->ThumbnailReady(folder, path, image);
                },
                Qt::QueuedConnection);
        });
    }
}

void ThumbnailGrid::ThumbnailReady(const QString& folder, const QString& path, const QImage& image) {
    if (folder != folder_) return;  // another album is shown by now
    QListWidgetItem* item = items_.value(path);
    if (!item) return;
    item->setIcon(image.isNull() ? Placeholder(kThumbnailSize) : QIcon(QPixmap::fromImage(image)));
    ++made_;
    emit ThumbnailMade(path);
}

}  // namespace gathrix::manager
