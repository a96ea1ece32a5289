// The main window's preview of the selected picture.

#include "QRXDlg.h"

#include "FileSizeText.h"
#include "PictureDecoder.h"
#include "PreviewBox.h"

#include <QFile>
#include <QLabel>

namespace vistrel {

namespace {

// Decoding a JPEG reduced in the DCT while its sides stay at twice the box keeps the window
// responsive on photos of many megapixels, and sharp on screens of double density.
constexpr int kPreviewDecodeSide = 2 * 150;

qint64 FileLength(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.size() : -1;
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
    const QString path = SelectedPath();
    const std::int32_t index = path.isEmpty() ? -1 : repository->FindPicture(path);
    if (index < 0 || repository->GetPicture(index).loadError) {
        return true;  // nothing to show, and nothing to retry
    }
    QSize fullSize;
    const QImage picture = DecodePicture(path, DecodeOptions{kPreviewDecodeSide}, &fullSize);
    if (picture.isNull()) {
        repository->GetPicture(index).loadError = true;
        return false;
    }
    preview->Show(picture, fullSize);
    sizeLabel->setText(PictureSizeLabel(fullSize, FileLength(path)));
    return true;
}

}  // namespace vistrel
