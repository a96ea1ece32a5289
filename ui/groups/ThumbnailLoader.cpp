#include "ThumbnailLoader.h"

#include "decoding/PictureDecoder.h"

#include <QFutureWatcher>
#include <QPainter>
#include <QPromise>
#include <QThreadPool>

#include <memory>

namespace vistrel {

namespace {

// Two decodes at a time keep the machine answering; the decodes of a few screens' worth of rows
// may wait, older ones are dropped as the user scrolls on.
constexpr int kMaxRunning = 2;
constexpr std::size_t kMaxWaiting = 48;

}  // namespace

CThumbnailLoader::CThumbnailLoader(int side, QObject* parent) : QObject(parent), side(side) {}

void CThumbnailLoader::Request(int key, const QString& path) {
    waiting.push_back(Job{key, path});
    if (waiting.size() > kMaxWaiting) {
        const int dropped = waiting.front().key;
        waiting.pop_front();
        emit Dropped(dropped);
    }
    StartNext();
}

QImage CThumbnailLoader::MakeThumbnail(const QString& path, int side) {
    // A JPEG is reduced in the DCT as far as the thumbnail allows, which is most of the work.
    const QImage picture = DecodePicture(path, DecodeOptions{side});
    if (picture.isNull()) {
        return {};
    }
    // Centred on a clear square, so that every row of a list is as high and its text starts at
    // the same place whatever the picture's shape.
    const QImage scaled = picture.scaled(side, side, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    QImage square(side, side, QImage::Format_ARGB32_Premultiplied);
    square.fill(Qt::transparent);
    QPainter painter(&square);
    painter.drawImage((side - scaled.width()) / 2, (side - scaled.height()) / 2, scaled);
    return square;
}

void CThumbnailLoader::StartNext() {
    while (running < kMaxRunning && !waiting.empty()) {
        const Job job = waiting.back();
        waiting.pop_back();
        // The watcher is this loader's child: once the loader is gone, nothing is delivered,
        // while the decode ends on its own thread and its promise with it.
        auto promise = std::make_shared<QPromise<QImage>>();
        auto* watcher = new QFutureWatcher<QImage>(this);
        connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, key = job.key] {
            --running;
            const QFuture<QImage> future = watcher->future();
            const QImage thumbnail = future.resultCount() > 0 ? future.result() : QImage();
            watcher->deleteLater();
            emit Ready(key, thumbnail);
            StartNext();
        });
        watcher->setFuture(promise->future());
        ++running;
        promise->start();
        QThreadPool::globalInstance()->start([promise, path = job.path, side = side] {
            promise->addResult(MakeThumbnail(path, side));
            promise->finish();
        });
    }
}

}  // namespace vistrel
