#include "BulkDeletion.h"

#include "PictureFile.h"
#include "PictureRepository.h"
#include "PictureSignature.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <cstdint>
#include <vector>

namespace vistrel {

namespace {

void ClearMarks(CPictureRepository& repository) {
    for (std::int32_t i = 0; i < repository.GetCount(); ++i) {
        repository.GetPicture(i).marked = false;
    }
}

}  // namespace

bool MoveFileToTrash(const QString& path) {
    return MoveFileToTrashTracked(path, nullptr);
}

bool MoveFileToTrashTracked(const QString& path, QString* pathInTrash) {
    // An empty path would name the working directory itself.
    if (path.isEmpty()) {
        return false;
    }
    // Qt puts the home trash under the data folder but does not make that folder: on an account
    // that has none yet, the move would not reach the trash.
    const QString dataHome = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (dataHome.isEmpty() || !QDir().mkpath(dataHome)) {
        return false;
    }
    return QFile::moveToTrash(path, pathInTrash);
}

void DeleteSimilarFiles(CPictureRepository& repository, const TrashFunction& trash) {
    ClearMarks(repository);
    // Links come in pairs, so flagging every link target flags both pictures of every pair.
    std::vector<bool> flagged(static_cast<std::size_t>(repository.GetCount()), false);
    for (std::int32_t i = 0; i < repository.GetCount(); ++i) {
        CPictureInfo& picture = repository.GetPicture(i);
        for (const CSimilarInfo& link : picture.similar) {
            if (link.index >= 0 && link.index < repository.GetCount()) {
                flagged[static_cast<std::size_t>(link.index)] = true;
            }
        }
        picture.similar.clear();
    }

    std::int32_t i = 0;
    while (i < repository.GetCount()) {
        const auto flag = flagged.begin() + i;
        if (!*flag) {
            ++i;
            continue;
        }
        if (trash(repository.GetPicture(i).path)) {
            // The entries after i, and their flags, move down by one.
            flagged.erase(flag);
            repository.RemovePictureAt(i);
        } else {
            repository.GetPicture(i).marked = true;
            ++i;
        }
    }
}

void DeleteDamagedFiles(CPictureRepository& repository, const TrashFunction& trash) {
    ClearMarks(repository);
    std::int32_t i = 0;
    while (i < repository.GetCount()) {
        CPictureInfo& picture = repository.GetPicture(i);
        if (!picture.loadError) {
            ++i;
        } else if (!IsDamagedPictureNow(picture.path, repository.Side())) {
            // Gone, out of reach for a moment, or whole again: not a damaged picture to move.
            picture.marked = true;
            ++i;
        } else if (trash(picture.path)) {
            repository.RemovePictureAt(i);
        } else {
            picture.marked = true;
            ++i;
        }
    }
}

bool IsDamagedPictureNow(const QString& path, int side) {
    // A file that is not there or cannot be opened says nothing about the picture in it.
    if (QFile content; !OpenPictureFile(path, content).Opened()) {
        return false;
    }
    return ComputeSignature(path, side).empty();
}

QStringList MarkedPaths(const CPictureRepository& repository) {
    QStringList paths;
    for (std::int32_t i = 0; i < repository.GetCount(); ++i) {
        const CPictureInfo& picture = repository.GetPicture(i);
        if (picture.marked) {
            paths.append(picture.path);
        }
    }
    return paths;
}

}  // namespace vistrel
