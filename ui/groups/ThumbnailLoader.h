#pragma once

#include <QImage>
#include <QObject>
#include <QString>

#include <deque>

namespace vistrel {

/// Makes small pictures of picture files on the shared thread pool, a few at a time, and hands
/// each back on the GUI thread. The latest requests go first: they are the rows just scrolled
/// into view. Deleting the loader drops the results of the decodes still running. GUI thread.
class CThumbnailLoader : public QObject {
    Q_OBJECT

public:
    /// Thumbnails fit in `side` x `side` pixels.
    explicit CThumbnailLoader(int side, QObject* parent = nullptr);

    /// Asks for the thumbnail of `path`, known to the caller as `key`. When too many requests
    /// wait, the oldest one is dropped (Dropped), to be asked again if still wanted.
    void Request(int key, const QString& path);

    /// The picture scaled to fit `side` x `side` pixels, centred on a clear square of that size;
    /// a null image when the file cannot be decoded. Any thread.
    static QImage MakeThumbnail(const QString& path, int side);

signals:
    /// The thumbnail of `key`; null when the picture cannot be decoded.
    void Ready(int key, const QImage& thumbnail);
    /// The request for `key` was given up unanswered.
    void Dropped(int key);

private:
    void StartNext();

    struct Job {
        int key = 0;
        QString path;
    };
    int side;
    int running = 0;
    std::deque<Job> waiting;
};

}  // namespace vistrel
