#include "FolderListEditor.h"

#include "scanning/ScanExclusions.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QListWidget>
#include <QPalette>
#include <QPushButton>
#include <QVBoxLayout>

namespace vistrel {

FolderListEditor::FolderListEditor(Kind kind, const QStringList& entries, const QString& name,
                                   QWidget* parent)
    : QWidget(parent),
      kind(kind),
      list(new QListWidget(this)),
      removeButton(new QPushButton(tr("Remove"), this)) {
    setObjectName(name + QStringLiteral("Editor"));
    list->setObjectName(name + QStringLiteral("List"));
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    removeButton->setObjectName(name + QStringLiteral("Remove"));
    auto* addFolder = new QPushButton(tr("Add Folder..."), this);
    addFolder->setObjectName(name + QStringLiteral("AddFolder"));
    // Enter belongs to the dialog's OK.
    addFolder->setAutoDefault(false);
    removeButton->setAutoDefault(false);
    connect(addFolder, &QPushButton::clicked, this, &FolderListEditor::ChooseFolder);
    connect(removeButton, &QPushButton::clicked, this, &FolderListEditor::RemoveSelected);
    connect(list, &QListWidget::itemSelectionChanged, this, &FolderListEditor::UpdateButtons);

    auto* buttons = new QVBoxLayout;
    buttons->addWidget(addFolder);
    if (kind == Kind::Patterns) {
        auto* addPattern = new QPushButton(tr("Add Pattern..."), this);
        addPattern->setObjectName(name + QStringLiteral("AddPattern"));
        addPattern->setAutoDefault(false);
        connect(addPattern, &QPushButton::clicked, this, &FolderListEditor::AskPattern);
        buttons->addWidget(addPattern);
    }
    buttons->addWidget(removeButton);
    buttons->addStretch();
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(list);
    layout->addLayout(buttons);

    // A duplicate that an edited store holds is shown, and kept, once.
    for (const QString& entry : entries) {
        AddEntry(entry);
    }
    list->clearSelection();
    UpdateButtons();
}

QStringList FolderListEditor::Entries() const {
    QStringList entries;
    for (int i = 0; i < list->count(); ++i) {
        entries << list->item(i)->text();
    }
    return entries;
}

bool FolderListEditor::AddFolder(const QString& folder) {
    if (folder.isEmpty()) {
        return false;
    }
    return AddEntry(kind == Kind::Patterns ? ScanExclusions::PatternForFolder(folder)
                                           : QDir::cleanPath(QFileInfo(folder).absoluteFilePath()));
}

bool FolderListEditor::AddPattern(const QString& pattern) {
    return AddEntry(pattern);
}

bool FolderListEditor::AddEntry(const QString& entry) {
    if (entry.trimmed().isEmpty() || !list->findItems(entry, Qt::MatchExactly).isEmpty()) {
        return false;
    }
    auto* item = new QListWidgetItem(entry, list);
    // A reference folder on a disk not mounted now still protects once it is back.
    if (kind == Kind::Folders && !QFileInfo(entry).isDir()) {
        item->setForeground(list->palette().brush(QPalette::Disabled, QPalette::Text));
        item->setToolTip(
            tr("This folder cannot be found now. It stays in the list, and "
               "protects its pictures again once it is there."));
    }
    list->setCurrentItem(item);
    return true;
}

void FolderListEditor::ChooseFolder() {
    AddFolder(QFileDialog::getExistingDirectory(this, tr("Please choose a folder.")));
}

void FolderListEditor::AskPattern() {
    bool ok = false;
    const QString pattern = QInputDialog::getText(
        this, tr("Add Pattern"),
        tr("A folder or file name, such as @eaDir; a pattern on names, such as *.tmp.jpg; or, "
           "with a slash, a pattern on whole paths, such as */cache (* ? and [...] as in a "
           "shell):"),
        QLineEdit::Normal, QString(), &ok);
    if (ok) {
        AddPattern(pattern);
    }
}

void FolderListEditor::RemoveSelected() {
    qDeleteAll(list->selectedItems());
    UpdateButtons();
}

void FolderListEditor::UpdateButtons() {
    removeButton->setEnabled(!list->selectedItems().isEmpty());
}

}  // namespace vistrel
