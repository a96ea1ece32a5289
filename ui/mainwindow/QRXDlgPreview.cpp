// The main window's preview of the selected picture: its size at once from the file's header,
// the picture itself once the preview's worker has decoded it.

#include "QRXDlg.h"

#include "PreviewBox.h"
#include "PreviewLoader.h"
#include "common/FileSizeText.h"
#include "decoding/PictureDecoder.h"

#include <QFileInfo>
#include <QLabel>

namespace vistrel {

void CQRXDlg::UpdatePreview() {
    if (previewLoader == nullptr) {
        previewLoader =
            new PreviewLoader([this](const PreviewPicture& loaded) { ShowPreview(loaded); }, this);
    }
    preview->Clear();
    sizeLabel->clear();
    sizeLabel->setToolTip(QString());
    const QString path = SelectedPath();
    const std::int32_t index = path.isEmpty() ? -1 : repository->FindPicture(path);
    if (index < 0 || repository->GetPicture(index).loadError) {
        previewLoader->Drop();  // nothing to show, and nothing to retry
    } else {
        // The header costs a few small reads; a file that is away or not a regular file shows
        // no size until the worker says why.
        const QSize size = ReadPictureHeader(path).size;
        if (size.isValid()) {
            sizeLabel->setText(PictureSizeLabel(size, QFileInfo(path).size()));
        }
        preview->ShowLoading();
        previewLoader->Load(path);
    }
    UpdateCommandStates();
}

void CQRXDlg::ShowPreview(const PreviewPicture& loaded) {
    // The tree may have changed since the request: its result counts only for the selection.
    const std::int32_t index =
        loaded.path == SelectedPath() ? repository->FindPicture(loaded.path) : -1;
    if (index < 0 || repository->GetPicture(index).loadError) {
        return;
    }
    if (!loaded.picture.isNull()) {
        preview->Show(loaded.picture, loaded.fullSize);
        sizeLabel->setText(PictureSizeLabel(loaded.fullSize, loaded.fileLength));
        return;
    }
    preview->Clear();
    if (!loaded.unreadableReason.isEmpty()) {
        // Shown as such, and the entry stays healthy: nothing is known of the picture.
        sizeLabel->setText(tr("Cannot be shown: %1").arg(loaded.unreadableReason));
        sizeLabel->setToolTip(
            tr("\"%1\" cannot be read: %2").arg(loaded.path, loaded.unreadableReason));
        return;
    }
    // A damaged picture marks its entry, and the rebuilt tree previews its first item; each
    // failure marks one more entry, so the tries end with the tree's untried pictures.
    repository->GetPicture(index).loadError = true;
    RefreshTree();
}

}  // namespace vistrel
