#pragma once

#include "settings/UserSettings.h"

#include <QDialog>

class QAbstractSpinBox;
class QCheckBox;
class QListWidget;
class QPushButton;
class QResizeEvent;
class QTabWidget;

namespace vistrel {

class FolderListEditor;

/// The "Program Settings" dialog: edits a copy of the user's settings on the pages "General"
/// (threshold and comparison options), "File Formats" and "Folders" (the reference folders and
/// the exclusions of the folder scan); OK takes and saves them, Cancel changes nothing. Run it
/// modally on the GUI thread; when it is accepted, put Settings() in force, and refresh the window
/// afterwards whatever its result.
class CSettingsDlg : public QDialog {
    Q_OBJECT

public:
    /// Fills the controls from `userSettings` once; nothing is written before OK.
    explicit CSettingsDlg(const UserSettings& userSettings, QWidget* parent = nullptr);
    ~CSettingsDlg() override;

    /// The settings as OK took them; before OK, or after Cancel, those the dialog was given.
    const UserSettings& Settings() const { return settings; }

    /// OK: copies every control into Settings(), then calls SaveUserSettings() and says
    /// "Unable to save settings" when that fails; the new values are to be in force either way.
    void accept() override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void CreateGeneralPage();
    void CreateFormatsPage();
    void CreateFoldersPage();
    void LayOutSheet();

    UserSettings settings;
    QTabWidget* sheet;
    QWidget* generalPage;
    QWidget* formatsPage;
    QWidget* foldersPage;
    QAbstractSpinBox* thresholdBox = nullptr;
    QCheckBox* stretchBox = nullptr;
    QCheckBox* shapeOnlyBox = nullptr;
    QCheckBox* turnedBox = nullptr;
    QCheckBox* sameFolderBox = nullptr;
    QListWidget* formatList = nullptr;
    FolderListEditor* referenceList = nullptr;
    FolderListEditor* exclusionList = nullptr;
    QPushButton* okButton;
    QPushButton* cancelButton;
};

}  // namespace vistrel
