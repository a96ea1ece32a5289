#pragma once

#include "BulkDeletion.h"
#include "TrashRestore.h"
#include "repository/PictureInfo.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace vistrel {

class CPictureRepository;

/// The files that the last clean-up command moved to the trash, with their entries, so that
/// Undo Move to Trash can put both back. GUI thread, but for PutBackFiles.
class CTrashUndo {
public:
    /// What PutBackFiles did with each recorded file, in order; none for a file a stop left.
    using PutBack = std::vector<std::optional<RestoreOutcome>>;

    /// Forgets the files of the command before: a new command begins.
    void Begin() { files.clear(); }
    /// A trash function for the clean-up commands that records each file it moves, with a copy
    /// of its entry in `repository` (which must still hold it when the function is called).
    TrashFunction RecordingTrash(const CPictureRepository& repository,
                                 TrashMover mover = MoveFileToTrashTracked);
    /// Records a file moved to the trash by other means, with its entry, just after the move:
    /// the folder it left is taken to be the one its path names now.
    void Record(const CPictureInfo& entry, const QString& pathInTrash);
    /// Records a file moved by MoveTracked, with its entry as it was before the move.
    void Record(const CPictureInfo& entry, const MoveOutcome& outcome);
    bool IsEmpty() const { return files.empty(); }
    std::size_t Count() const { return files.size(); }
    /// Puts the recorded files back at their paths (never over a file that is there again, nor
    /// into another folder than the one each left) and appends their entries, without links, to
    /// `repository`. Returns the paths of the files
    /// that could not come back; the record is then empty.
    QStringList Undo(CPictureRepository& repository);

    /// Undo in two steps, so that the files may move on a worker while the repository waits:
    /// puts back the recorded files in order as Undo does and touches nothing else. `progress`
    /// (may be null) hears each file and is asked before each whether to stop: the file in hand
    /// is finished, the rest stay in the trash. Any one thread at a time.
    PutBack PutBackFiles(ProgressObserver* progress);
    /// The second step, GUI thread: appends the entries of the files `putBack` brought back and
    /// forgets every file it reached; the files a stop left stay recorded, for another Undo.
    /// Returns the paths of the files that could not come back.
    QStringList TakeBackEntries(CPictureRepository& repository, const PutBack& putBack);

private:
    struct TrashedFile {
        CPictureInfo entry;
        QString pathInTrash;
        /// The folder the file left; none when it could not be read, and then the file stays.
        std::optional<FolderIdentity> folder;
    };
    std::vector<TrashedFile> files;
};

}  // namespace vistrel
