#pragma once

#include <QStringList>
#include <QWidget>

class QListWidget;
class QPushButton;

namespace vistrel {

/// A list of folders, or of folders and exclusion patterns, with the buttons that edit it:
/// Add Folder... (a folder chooser), Add Pattern... (only for patterns) and Remove. No entry is
/// listed twice. A folder that does not exist is kept, shown greyed with a tooltip that says
/// so. Program Settings holds one for the reference folders and one for the exclusions. GUI
/// thread.
class FolderListEditor : public QWidget {
    Q_OBJECT

public:
    enum class Kind {
        Folders,  ///< Entries are folders, as given (the reference folders).
        Patterns  ///< Entries are ScanExclusions patterns; a folder becomes its own pattern.
    };

    /// `entries`: the list as the user keeps it. The editor and its child widgets are named after
    /// `name` ("<name>Editor", "<name>List", "<name>AddFolder", "<name>AddPattern",
    /// "<name>Remove").
    FolderListEditor(Kind kind, const QStringList& entries, const QString& name,
                     QWidget* parent = nullptr);

    /// The entries in their order.
    QStringList Entries() const;

    /// Adds `entry` at the end, as the buttons do once their dialog has given it: a folder is
    /// cleaned first (and for a pattern list made its pattern); an empty entry or one listed
    /// already is not added. True when it was added, and then it is selected.
    bool AddFolder(const QString& folder);
    bool AddPattern(const QString& pattern);

private:
    bool AddEntry(const QString& entry);
    void ChooseFolder();
    void AskPattern();
    void RemoveSelected();
    void UpdateButtons();

    const Kind kind;
    QListWidget* list;
    QPushButton* removeButton;
};

}  // namespace vistrel
