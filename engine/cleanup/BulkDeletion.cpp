#include "BulkDeletion.h"

#include "FreshSignatures.h"
#include "decoding/PictureFile.h"
#include "repository/PictureRepository.h"
#include "signature/PictureSignature.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <algorithm>
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

std::vector<bool> LinkedEntries(const CPictureRepository& repository) {
    // Links come in pairs, so flagging every link target flags both pictures of every pair.
    std::vector<bool> linked(static_cast<std::size_t>(repository.GetCount()), false);
    for (std::int32_t i = 0; i < repository.GetCount(); ++i) {
        for (const CSimilarInfo& link : repository.GetPicture(i).similar) {
            if (link.index >= 0 && link.index < repository.GetCount()) {
                linked[static_cast<std::size_t>(link.index)] = true;
            }
        }
    }
    return linked;
}

std::function<std::vector<bool>(ProgressObserver* progress)> SameContentChecker(
    const CPictureRepository& repository, const std::vector<bool>& wanted) {
    std::vector<std::size_t> indexes;
    std::vector<QString> paths;
    std::vector<SignatureBytes> signatures;
    for (std::int32_t i = 0; i < repository.GetCount(); ++i) {
        const CPictureInfo& picture = repository.GetPicture(i);
        if (static_cast<std::size_t>(i) < wanted.size() && wanted[static_cast<std::size_t>(i)] &&
            !picture.signature.empty()) {
            indexes.push_back(static_cast<std::size_t>(i));
            paths.push_back(picture.path);
            signatures.push_back(picture.signature);
        }
    }
    const std::size_t count = static_cast<std::size_t>(repository.GetCount());
    const int side = repository.Side();
    return [indexes = std::move(indexes), paths = std::move(paths),
            signatures = std::move(signatures), count, side](ProgressObserver* progress) {
        std::vector<bool> same(count, false);
        const std::optional<std::vector<SignatureBytes>> now = SignFreshly(paths, side, progress);
        for (std::size_t k = 0; now && k < indexes.size(); ++k) {
            // The decoding is exact and the same every time: an unchanged picture gives back
            // its signature byte for byte.
            const SignatureBytes& fresh = (*now)[k];
            same[indexes[k]] =
                fresh.size() == signatures[k].size() && !fresh.empty() &&
                std::equal(fresh.data(), fresh.data() + fresh.size(), signatures[k].data());
        }
        return same;
    };
}

PlannedMoves PlanSimilarDeletion(CPictureRepository& repository, SameContentCheck sameContent) {
    ClearMarks(repository);
    const std::vector<bool> linked = LinkedEntries(repository);
    if (!sameContent) {
        const std::vector<bool> same = SameContentChecker(repository, linked)({});
        sameContent = [same](std::int32_t index) { return same[static_cast<std::size_t>(index)]; };
    }
    // An entry goes when it and one of its partners are still what they were compared as: a
    // pair whose picture was rewritten since says nothing about either file.
    const std::int32_t count = repository.GetCount();
    std::vector<bool> same(static_cast<std::size_t>(count), false);
    for (std::int32_t i = 0; i < count; ++i) {
        same[static_cast<std::size_t>(i)] = linked[static_cast<std::size_t>(i)] && sameContent(i);
    }
    PlannedMoves planned;
    for (std::int32_t i = 0; i < count; ++i) {
        CPictureInfo& picture = repository.GetPicture(i);
        bool flagged = false;
        for (const CSimilarInfo& link : picture.similar) {
            if (link.index >= 0 && link.index < count && same[static_cast<std::size_t>(i)] &&
                same[static_cast<std::size_t>(link.index)]) {
                flagged = true;
            }
        }
        // Those that stay because their pair went stale are listed as left behind.
        picture.marked = linked[static_cast<std::size_t>(i)] && !flagged;
        picture.similar.clear();
        if (flagged) {
            planned.indexes.push_back(i);
            planned.paths.push_back(picture.path);
        }
    }
    return planned;
}

std::vector<MoveOutcome> MoveSimilarFiles(const PlannedMoves& planned, const TrashMover& trash,
                                          const ReferenceFolders& reference,
                                          ProgressObserver* progress) {
    return WalkMoves(
        planned.paths.size(),
        [&](std::size_t k) {
            const QString& path = planned.paths[k];
            // Asked of the file as it is now: it may have been moved into a reference folder,
            // or the folder added to the list, since the links were found.
            if (reference.ProtectsFile(path)) {
                return MoveOutcome{MoveVerdict::Protected, {}, {}};
            }
            return MoveTracked(path, trash);
        },
        progress);
}

QStringList DeleteSimilarFiles(CPictureRepository& repository, const TrashFunction& trash,
                               SameContentCheck sameContent, const ReferenceFolders& reference) {
    const PlannedMoves planned = PlanSimilarDeletion(repository, std::move(sameContent));
    const std::vector<MoveOutcome> outcomes =
        MoveSimilarFiles(planned, TrackedBy(trash), reference, nullptr);
    return ApplyMoves(repository, planned, outcomes, {});
}

PlannedMoves PlanDamagedDeletion(CPictureRepository& repository) {
    ClearMarks(repository);
    PlannedMoves planned;
    for (std::int32_t i = 0; i < repository.GetCount(); ++i) {
        const CPictureInfo& picture = repository.GetPicture(i);
        if (picture.loadError) {
            planned.indexes.push_back(i);
            planned.paths.push_back(picture.path);
        }
    }
    return planned;
}

std::vector<MoveOutcome> MoveDamagedFiles(const PlannedMoves& planned, int side,
                                          const TrashMover& trash,
                                          const ReferenceFolders& reference,
                                          ProgressObserver* progress) {
    return WalkMoves(
        planned.paths.size(),
        [&](std::size_t k) {
            const QString& path = planned.paths[k];
            if (reference.ProtectsFile(path)) {
                return MoveOutcome{MoveVerdict::Protected, {}, {}};
            }
            // Gone, out of reach for a moment, or whole again: not a damaged picture to move.
            if (!IsDamagedPictureNow(path, side)) {
                return MoveOutcome{MoveVerdict::Changed, {}, {}};
            }
            return MoveTracked(path, trash);
        },
        progress);
}

QStringList DeleteDamagedFiles(CPictureRepository& repository, const TrashFunction& trash,
                               const ReferenceFolders& reference) {
    const PlannedMoves planned = PlanDamagedDeletion(repository);
    const std::vector<MoveOutcome> outcomes =
        MoveDamagedFiles(planned, repository.Side(), TrackedBy(trash), reference, nullptr);
    return ApplyMoves(repository, planned, outcomes, {});
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
