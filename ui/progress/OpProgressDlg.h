#pragma once

#include "comparison/run/ComparisonCollector.h"
#include "repository/LinksDigest.h"

#include <QDialog>

#include <cstdint>
#include <memory>

class QProgressBar;
class QPushButton;
class QTimer;

namespace vistrel {

class CPictureRepository;

/// The "Progress" dialog of a similarity run: starts the run when it opens, records the similar
/// pairs as links while the workers go, and closes with Accepted when they are done or with
/// Rejected when the user stops the run (Stop, Escape, the close box). A run whose links differ
/// from those before it marks the repository modified: its file keeps the old ones. GUI thread.
class COpProgressDlg : public QDialog {
    Q_OBJECT

public:
    explicit COpProgressDlg(QWidget* parent = nullptr);
    ~COpProgressDlg() override;

    CPictureRepository* repository = nullptr;  ///< the repository to test; not owned
    float threshold = 0.0f;                    ///< the user's threshold in percent
    bool shapeOnly = false;                    ///< the user's shape-only mode
    bool findTurnedCopies = false;             ///< also compare turned and mirrored
    std::int32_t workersLeft = 0;              ///< workers that have not yet finished
    std::int32_t target = -1;  ///< entry to search for, or -1 for the whole repository
    int workerCount = 0;       ///< threads to use; 0 for one per core

    /// Stops the run, keeping the links recorded so far, and closes with Rejected.
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void StartRun();
    void CollectNotices();
    void EndRun();

    QProgressBar* progressBar;
    QPushButton* stopButton;
    QTimer* collectTimer;
    std::unique_ptr<ComparisonCollector> collector;
    /// The links before the run, to tell at its end whether they changed.
    LinksDigest linksBefore;
    std::int32_t workersStarted = 0;
    std::uint64_t pairCount = 0;
    bool started = false;
};

}  // namespace vistrel
