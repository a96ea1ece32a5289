#pragma once

#include "marks/MarkedPairs.h"
#include "repository/LinksDigest.h"
#include "settings/ComparisonOptions.h"

#include <QDialog>

#include <cstdint>
#include <memory>

class QProgressBar;
class QPushButton;
class QTimer;

namespace vistrel {

class CPictureRepository;
class ComparisonObserver;
class ComparisonRun;

/// The "Progress" dialog of a similarity run: starts the run when it opens, has it record the
/// similar pairs as links ten times a second on the GUI thread while the workers go, and closes
/// with Accepted when they are done or with Rejected when the user stops the run (Stop, Escape,
/// the close box). A run whose links differ from those before it marks the repository modified:
/// its file keeps the old ones. The run ends with the dialog at the latest. GUI thread.
class COpProgressDlg : public QDialog {
    Q_OBJECT

public:
    explicit COpProgressDlg(QWidget* parent = nullptr);
    ~COpProgressDlg() override;

    CPictureRepository* repository = nullptr;  ///< the repository to test; not owned
    /// The run's threshold, mode, target (-1: the whole repository) and threads.
    ComparisonOptions options;
    /// The pairs marked not similar when the run starts: the run leaves them out.
    MarkedPairs marked;
    std::int32_t workersLeft = 0;  ///< workers that have not yet finished

    /// True while the run is under way.
    bool IsComparing() const;
    /// Why the run stopped by itself (ComparisonRun::Fault), once it has ended; else empty.
    const QString& Fault() const { return fault; }

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
    /// Moves the bar; declared before the run, which reports to it.
    std::unique_ptr<ComparisonObserver> barObserver;
    std::unique_ptr<ComparisonRun> run;
    /// The links before the run, to tell at its end whether they changed.
    LinksDigest linksBefore;
    QString fault;
    bool started = false;
};

}  // namespace vistrel
