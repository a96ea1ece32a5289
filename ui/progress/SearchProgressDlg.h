#pragma once

#include "signature/SignaturePipeline.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QString>
#include <QStringList>

#include <thread>

class QLabel;
class QProgressBar;
class QPushButton;
class QShowEvent;

namespace vistrel {

class CPictureRepository;
class ProgressRelay;
struct ProgressReport;

/// The modal "Search Progress" dialog: imports the pictures of a folder tree (ImportFolder) on
/// a thread of its own while it is open, adding them to the repository in the order they are
/// found, and shows how far it has come: the files found while the walk goes on, the signatures
/// made, and once the walk has ended their total, a bar and the time left. The import thread is the
/// repository's only user until the dialog ends. GUI thread only.
class CSearchProgressDlg : public QDialog {
    Q_OBJECT

public:
    /// Copies `rootFolder` and `extensions` (as GetAllEnabledExtensions fills them); the
    /// caller's list may go away at once. The scan starts when the dialog is shown. exec() gives
    /// Accepted when the whole tree was scanned, Rejected when the user stopped it; the pictures
    /// added until then stay in `repository` either way. `pipelineLimits`: how the signatures
    /// are made, with the signature cache to use (none unless given). `exclusions`: what the
    /// scan leaves out (UserSettings::exclusions).
    CSearchProgressDlg(QWidget* parent, CPictureRepository* repository, const QString& rootFolder,
                       const QStringList& extensions, SigningLimits pipelineLimits = {},
                       const QStringList& exclusions = {});
    /// Stops an import still running and waits for its thread.
    ~CSearchProgressDlg() override;

    /// Number of files the import has reported handled so far.
    int FilesSeen() const { return filesSeen; }
    /// What the scan left out on purpose, one line each, for the window to tell the user. Read
    /// once the dialog has ended.
    const QStringList& Skipped() const { return skipped; }
    /// The folders (and entries) the scan could not read, one line each with the reason. Read
    /// once the dialog has ended.
    const QStringList& UnreadFolders() const { return unreadFolders; }
    /// The picture files and the folders the exclusions left out of a whole scan (a folder's
    /// content is not counted). Read once the dialog has ended.
    qint64 ExcludedFiles() const { return excludedFiles; }
    qint64 ExcludedFolders() const { return excludedFolders; }

public slots:
    /// Stop, Escape and closing the window: asks the import to stop; the dialog closes with
    /// Rejected once it has.
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    /// `final`: the last report, shown whatever the time since the one before.
    void ShowProgress(const ProgressReport& report, bool final = false);
    /// The files found, the signatures made, the bar and the time left.
    void ShowCounts(const ProgressReport& report);
    /// GUI thread, once the import thread has ended.
    void OnImportEnded(bool completed);

    QString rootFolder;
    QStringList extensions;
    QStringList exclusions;
    int filesSeen = 0;
    /// Filled by the import thread; read on the GUI thread only after it has ended.
    QStringList skipped;
    QStringList unreadFolders;
    qint64 excludedFiles = 0;
    qint64 excludedFolders = 0;
    CPictureRepository* repository;
    SigningLimits pipelineLimits;
    bool started = false;
    bool stopRequested = false;
    ProgressRelay* relay;
    QLabel* countLabel;
    QLabel* pathLabel;
    QLabel* foundLabel;
    QProgressBar* progressBar;
    QLabel* timeLabel;
    QPushButton* stopButton;
    /// Since the scan started: the rate of the time left.
    QElapsedTimer sinceStart;
    /// Since the counts, bar and time left were last written.
    QElapsedTimer sinceShown;
    std::thread importer;
};

}  // namespace vistrel
