#pragma once

#include <QImage>
#include <QObject>
#include <QSize>
#include <QString>

#include <functional>
#include <memory>

namespace vistrel {

template <typename Result>
class LatestJob;

/// What the preview's worker made of one picture file.
struct PreviewPicture {
    QString path;
    /// Decoded at about the preview's size (a JPEG reduced in the DCT, a HEIF file's thumbnail
    /// when it is large enough); null when the file could not be decoded.
    QImage picture;
    /// The picture's own width and height.
    QSize fullSize;
    /// The file's length in bytes; -1 when unknown.
    qint64 fileLength = -1;
    /// Why the file cannot be read through (missing, not a regular file, an I/O error), when
    /// it could not be decoded; empty when it reads whole, and a null picture then means a
    /// damaged picture.
    QString unreadableReason;
};

/// Decodes the main window's preview on the shared thread pool, one file at a time: the latest
/// request wins and the results of those it replaced are dropped, so that stepping through a
/// tree of large photos never holds the window. The result reaches `done` on the GUI thread.
/// GUI thread.
class PreviewLoader : public QObject {
    Q_OBJECT

public:
    PreviewLoader(std::function<void(const PreviewPicture&)> done, QObject* parent);
    ~PreviewLoader() override;

    /// Starts decoding `path`, in place of any request not yet answered.
    void Load(const QString& path);
    /// Forgets every request not yet answered: nothing is to be shown.
    void Drop();
    /// True while a decode runs, whether or not its result will be shown.
    bool IsBusy() const;

    /// Decodes `path` for the preview and, when that fails, tells why. Any thread.
    static PreviewPicture LoadPicture(const QString& path);

private:
    std::unique_ptr<LatestJob<PreviewPicture>> job;
};

}  // namespace vistrel
