#pragma once

#include <QDialog>

class QAbstractSpinBox;
class QCheckBox;
class QListWidget;
class QPushButton;
class QResizeEvent;
class QTabWidget;

namespace vistrel {

/// The "Program Settings" dialog: edits TheProgramSettings() on the pages "General" (threshold
/// and comparison options) and "File Formats"; OK stores and saves them, Cancel changes nothing.
/// Run it modally on the GUI thread, and refresh the window afterwards whatever its result.
class CSettingsDlg : public QDialog {
    Q_OBJECT

public:
    /// Fills the controls from TheProgramSettings() once; nothing is written before OK.
    explicit CSettingsDlg(QWidget* parent = nullptr);
    ~CSettingsDlg() override;

    /// OK: copies every control into TheProgramSettings(), then calls SaveSettings() and says
    /// "Unable to save settings" when that fails; the new values are in force either way.
    void accept() override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void CreateGeneralPage();
    void CreateFormatsPage();
    void LayOutSheet();

    QTabWidget* sheet;
    QWidget* generalPage;
    QWidget* formatsPage;
    QAbstractSpinBox* thresholdBox = nullptr;
    QCheckBox* stretchBox = nullptr;
    QCheckBox* shapeOnlyBox = nullptr;
    QCheckBox* turnedBox = nullptr;
    QListWidget* formatList = nullptr;
    QPushButton* okButton;
    QPushButton* cancelButton;
};

}  // namespace vistrel
