#pragma once

#include "scanning/FolderScanner.h"
#include "signature/SignaturePipeline.h"

#include <QDialog>
#include <QString>
#include <QStringList>

#include <deque>
#include <memory>

class QLabel;
class QPushButton;
class QShowEvent;
class QTimer;

namespace vistrel {

class CPictureRepository;

/// The modal "Search Progress" dialog: scans a folder tree for pictures while it is open and adds
/// them to the repository in the order they are found, their signatures made on other threads,
/// so that the window stays responsive. GUI thread only.
class CSearchProgressDlg : public QDialog {
    Q_OBJECT

public:
    /// Copies `rootFolder` and `extensions` (as GetEnabledExtensions fills them); the caller's
    /// list may go away at once. The scan starts when the dialog is shown. exec() gives Accepted
    /// when the whole tree was scanned, Rejected when the user stopped it; the pictures added
    /// until then stay in `repository` either way.
    CSearchProgressDlg(QWidget* parent, CPictureRepository* repository, const QString& rootFolder,
                       const QStringList& extensions, CFolderScanner::Limits limits = {},
                       SignaturePipeline::Limits pipelineLimits = {});
    ~CSearchProgressDlg() override;

    /// Number of files the scan has reported and the dialog has handled so far.
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
    /// Adds the files whose turn has come and whose signatures are made, for a short while at
    /// most; ends the dialog once the scan and every file are done.
    void AddFinishedFiles();

    /// A file the scan reported, in the order it did; `toSign` when its signature comes from
    /// the pipeline, not when the repository held the file already.
    struct FoundFile {
        QString path;
        bool toSign;
    };

    QString rootFolder;
    QStringList extensions;
    int filesSeen = 0;
    QStringList skipped;
    CPictureRepository* repository;
    bool started = false;
    bool scanFinished = false;
    std::deque<FoundFile> found;
    SignaturePipeline::Limits pipelineLimits;
    std::unique_ptr<SignaturePipeline> pipeline;
    QTimer* addTimer;
    QLabel* countLabel;
    QLabel* pathLabel;
    QPushButton* stopButton;
    /// Last member: destroyed, and so stopped, before anything its receiver touches (the
    /// pipeline is only ever read from the receiver's thread).
    CFolderScanner scanner;
};

}  // namespace vistrel
