#pragma once

#include "FolderScanner.h"

#include <QDialog>
#include <QString>
#include <QStringList>

class QLabel;
class QPushButton;
class QShowEvent;

namespace vistrel {

class CPictureRepository;

/// The modal "Search Progress" dialog: scans a folder tree for pictures while it is open and adds
/// each one to the repository as it is found. GUI thread only.
class CSearchProgressDlg : public QDialog {
    Q_OBJECT

public:
    /// Copies `rootFolder` and `extensions` (as GetEnabledExtensions fills them); the caller's
    /// list may go away at once. The scan starts when the dialog is shown. exec() gives Accepted
    /// when the whole tree was scanned, Rejected when the user stopped it; the pictures added
    /// until then stay in `repository` either way.
    CSearchProgressDlg(QWidget* parent, CPictureRepository* repository, const QString& rootFolder,
                       const QStringList& extensions, CFolderScanner::Limits limits = {});
    ~CSearchProgressDlg() override;

    /// Number of files the scan has reported so far.
    int FilesSeen() const { return filesSeen; }
    /// What the scan left out on purpose, one line each, for the window to tell the user.
    const QStringList& Skipped() const { return skipped; }

public slots:
    /// Stop, Escape and closing the window: ends the scan and closes with Rejected.
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void OnScanMessage(const CFolderScanner::Message& message);

    QString rootFolder;
    QStringList extensions;
    int filesSeen = 0;
    QStringList skipped;
    CPictureRepository* repository;
    bool started = false;
    QLabel* countLabel;
    QLabel* pathLabel;
    QPushButton* stopButton;
    /// Last member: destroyed, and so stopped, before anything its receiver touches.
    CFolderScanner scanner;
};

}  // namespace vistrel
