#include "PreviewLoader.h"

#include "compare/LatestJob.h"
#include "decoding/PictureDecoder.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <utility>

namespace vistrel {

namespace {

// Decoding at twice the 150-pixel box keeps the preview sharp on screens of double density:
// a JPEG is reduced in the DCT, a HEIF file gives its thumbnail when that is this large.
constexpr int kPreviewDecodeSide = 2 * 150;

DecodeOptions PreviewOptions() {
    DecodeOptions options;
    options.minScaledSide = kPreviewDecodeSide;
    options.heifThumbnailMinSide = kPreviewDecodeSide;
    return options;
}

// Why the file cannot be read through, or an empty string when it can: missing, not a regular
// file, no permission, an I/O error (a drive or share that dropped out). A picture that fails
// for such a reason is not a damaged picture: it may show once the file is back.
QString UnreadableFileReason(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    // Not blocking: a FIFO put in a picture's place would hold the worker for ever.
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return QString::fromLocal8Bit(std::strerror(errno));
    }
    QString reason;
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        reason = QString::fromLocal8Bit(std::strerror(errno));
    } else if (!S_ISREG(info.st_mode)) {
        reason = QCoreApplication::translate("CQRXDlg", "not a regular file");
    } else {
        // Read through to the end: a share that drops out fails here rather than at open.
        std::array<char, 1 << 16> buffer{};
        for (;;) {
            const ssize_t got = ::read(fd, buffer.data(), buffer.size());
            if (got == 0) {
                break;
            }
            if (got < 0 && errno != EINTR) {
                reason = QString::fromLocal8Bit(std::strerror(errno));
                break;
            }
        }
    }
    ::close(fd);
    return reason;
}

}  // namespace

PreviewLoader::PreviewLoader(std::function<void(const PreviewPicture&)> done, QObject* parent)
    : QObject(parent), job(std::make_unique<LatestJob<PreviewPicture>>(std::move(done))) {}

PreviewLoader::~PreviewLoader() = default;

void PreviewLoader::Load(const QString& path) {
    job->Start([path] { return LoadPicture(path); });
}

void PreviewLoader::Drop() {
    job->Drop();
}

bool PreviewLoader::IsBusy() const {
    return job->IsBusy();
}

PreviewPicture PreviewLoader::LoadPicture(const QString& path) {
    PreviewPicture result;
    result.path = path;
    const DecodeOptions options = PreviewOptions();
    result.picture = DecodePicture(path, options, &result.fullSize);
    if (result.picture.isNull()) {
        result.unreadableReason = UnreadableFileReason(path);
        if (!result.unreadableReason.isEmpty()) {
            return result;
        }
        // The file reads whole now; the first decode may have met it while it was away.
        result.picture = DecodePicture(path, options, &result.fullSize);
    }
    if (!result.picture.isNull()) {
        // Formats decoded whole (PNG, a HEIF file's primary picture) are brought down here
        // rather than at each paint on the GUI thread.
        if (std::max(result.picture.width(), result.picture.height()) > kPreviewDecodeSide) {
            // At least a pixel across: a very thin picture must not turn into no picture.
            const QSize target =
                result.picture.size()
                    .scaled(kPreviewDecodeSide, kPreviewDecodeSide, Qt::KeepAspectRatio)
                    .expandedTo(QSize(1, 1));
            result.picture =
                result.picture.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        }
        result.fileLength = QFileInfo(path).size();
    }
    return result;
}

}  // namespace vistrel
