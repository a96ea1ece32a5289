// The main window's preview of the selected picture.

#include "QRXDlg.h"

#include "PreviewBox.h"
#include "common/FileSizeText.h"
#include "decoding/PictureDecoder.h"

#include <QCoreApplication>
#include <QFile>
#include <QLabel>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

namespace vistrel {

namespace {

// Decoding a JPEG reduced in the DCT while its sides stay at twice the box keeps the window
// responsive on photos of many megapixels, and sharp on screens of double density.
constexpr int kPreviewDecodeSide = 2 * 150;

qint64 FileLength(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.size() : -1;
}

// Why the file cannot be read through, or an empty string when it can: missing, not a regular
// file, no permission, an I/O error (a drive or share that dropped out). A picture that fails
// for such a reason is not a damaged picture: it may show once the file is back.
QString UnreadableFileReason(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    // Not blocking: a FIFO put in a picture's place would hold the window for ever.
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

void CQRXDlg::UpdatePreview() {
    // A picture that fails marks its entry and rebuilds the tree, which selects the first item;
    // that one is tried next, until one shows or the tree runs out of untried pictures.
    while (!PreviewSelectedItem()) {
        RebuildTreeItems();
    }
    UpdateCommandStates();
}

bool CQRXDlg::PreviewSelectedItem() {
    preview->Clear();
    sizeLabel->clear();
    sizeLabel->setToolTip(QString());
    const QString path = SelectedPath();
    const std::int32_t index = path.isEmpty() ? -1 : repository->FindPicture(path);
    if (index < 0 || repository->GetPicture(index).loadError) {
        return true;  // nothing to show, and nothing to retry
    }
    QSize fullSize;
    QImage picture = DecodePicture(path, DecodeOptions{kPreviewDecodeSide}, &fullSize);
    if (picture.isNull()) {
        if (const QString reason = UnreadableFileReason(path); !reason.isEmpty()) {
            // Shown as such, and the entry stays healthy: nothing is known of the picture.
            sizeLabel->setText(tr("Cannot be shown: %1").arg(reason));
            sizeLabel->setToolTip(tr("\"%1\" cannot be read: %2").arg(path, reason));
            return true;
        }
        // The file reads whole now; the first decode may have met it while it was away.
        picture = DecodePicture(path, DecodeOptions{kPreviewDecodeSide}, &fullSize);
    }
    if (picture.isNull()) {
        repository->GetPicture(index).loadError = true;
        return false;
    }
    preview->Show(picture, fullSize);
    sizeLabel->setText(PictureSizeLabel(fullSize, FileLength(path)));
    return true;
}

}  // namespace vistrel
