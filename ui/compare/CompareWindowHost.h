#pragma once

#include <QString>

class QWidget;

namespace vistrel {

class CPictureRepository;

/// What the compare window needs of the window that opened it: the repository whose pairs it
/// shows, and the one way to move a picture file to the trash (the question, the Undo record
/// and the entry dropped), to mark a pair as not similar, or to undo either. The host tells the
/// compare window itself when the repository changed (CompareWindow::RepositoryChanged). GUI
/// thread.
class CompareWindowHost {
public:
    virtual const CPictureRepository& ShownRepository() const = 0;
    /// Asks whether to move `path` to the trash (the question parented to `asker`, with
    /// `lastCopyWarning` added when given) and moves it; true when the file went.
    virtual bool TrashPictureFile(const QString& path, QWidget* asker,
                                  const QString& lastCopyWarning) = 0;
    /// Whether pairs can be marked not similar at all (the host has a store of marks).
    virtual bool CanMarkPairs() const = 0;
    /// Marks the pair of the entries at these paths as not similar (saying so, parented to
    /// `asker`, when it cannot); true when the pair was marked and left the similar pairs.
    virtual bool MarkPairNotSimilar(const QString& firstPath, const QString& secondPath,
                                    QWidget* asker) = 0;
    /// The Undo key pressed in the compare window: takes back the last step of the host's undo
    /// history (a move to the trash or a mark), as the host's own Undo does.
    virtual void UndoLastStep() = 0;

protected:
    ~CompareWindowHost() = default;
};

}  // namespace vistrel
