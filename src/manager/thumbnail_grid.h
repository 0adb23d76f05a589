#pragma once
// The pictures of an album as a grid of thumbnails. Pictures are read and
// scaled on Qt's thread pool, never on the window's thread; one that cannot
// be decoded shows a plain placeholder. Double-click opens a picture in the
// desktop's viewer.

#include <QHash>
#include <QImage>
#include <QListWidget>
#include <QString>

namespace gathrix::manager {

class ThumbnailGrid : public QListWidget {
    Q_OBJECT

public:
    static constexpr int kThumbnailSize = 96;

    explicit ThumbnailGrid(QWidget* parent = nullptr);

    // Shows the pictures of folder (none for an empty path): every regular
    // file in it, hidden ones left out.
    void ShowFolder(const QString& folder);
    // Looks at the folder again and adds the pictures stored since.
    void Refresh();
    const QString& Folder() const { return folder_; }
    // Thumbnails made so far (placeholders counted), for the tests.
    int Made() const { return made_; }

    // A thumbnail of the picture at path, at most size pixels either way;
    // a null image when it cannot be decoded. Safe on any thread.
    static QImage Thumbnail(const QString& path, int size);

signals:
    void PictureOpened(const QString& path);
    void ThumbnailMade(const QString& path);

private:
    void ThumbnailReady(const QString& folder, const QString& path, const QImage& image);

    QString folder_;
    QHash<QString, QListWidgetItem*> items_;  // file path -> its item
    int made_ = 0;
};

}  // namespace gathrix::manager
