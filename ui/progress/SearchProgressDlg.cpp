#include "SearchProgressDlg.h"

#include "ProgressRelay.h"
#include "TimeLeft.h"
#include "import/PictureImport.h"
#include "repository/PictureRepository.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QMetaObject>
#include <QProgressBar>
#include <QPushButton>
#include <QShowEvent>
#include <QSizePolicy>
#include <QVBoxLayout>

#include <algorithm>
#include <limits>
#include <system_error>

namespace vistrel {

namespace {

// The counts, the bar and the time left are written at most this often: a small picture is
// done faster than a label is laid out.
constexpr qint64 kShowEveryMs = 100;

int ClampedInt(std::uint64_t n) {
    return static_cast<int>(std::min<std::uint64_t>(n, std::numeric_limits<int>::max()));
}

}  // namespace

CSearchProgressDlg::CSearchProgressDlg(QWidget* parent, CPictureRepository* repository,
                                       const QString& rootFolder, const QStringList& extensions,
                                       SigningLimits pipelineLimits, const QStringList& exclusions)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      rootFolder(rootFolder),
      extensions(extensions),
      exclusions(exclusions),
      repository(repository),
      pipelineLimits(std::move(pipelineLimits)),
      relay(new ProgressRelay(this)),
      countLabel(new QLabel(tr("Count:"), this)),
      pathLabel(new QLabel(tr("Path"), this)),
      foundLabel(new QLabel(tr("Looking for picture files..."), this)),
      progressBar(new QProgressBar(this)),
      timeLabel(new QLabel(this)),
      stopButton(new QPushButton(tr("Stop"), this)) {
    setWindowTitle(tr("Search Progress"));
    setModal(true);
    countLabel->setObjectName(QStringLiteral("countLabel"));
    pathLabel->setObjectName(QStringLiteral("pathLabel"));
    stopButton->setObjectName(QStringLiteral("stopButton"));
    foundLabel->setObjectName(QStringLiteral("foundLabel"));
    progressBar->setObjectName(QStringLiteral("progressBar"));
    timeLabel->setObjectName(QStringLiteral("timeLabel"));
    // Busy until the walk has ended and the total is known.
    progressBar->setRange(0, 0);
    // A long path must not stretch the dialog across the screen.
    pathLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    pathLabel->setTextFormat(Qt::PlainText);
    // Enter must not stop the scan: Stop is never the default button.
    stopButton->setAutoDefault(false);
    stopButton->setDefault(false);
    connect(stopButton, &QPushButton::clicked, this, &CSearchProgressDlg::reject);
    connect(relay, &ProgressRelay::Progressed, this,
            [this](const ProgressReport& report) { ShowProgress(report); });

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(stopButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(countLabel);
    layout->addWidget(pathLabel);
    layout->addWidget(foundLabel);
    layout->addWidget(progressBar);
    layout->addWidget(timeLabel);
    layout->addLayout(buttons);
    setMinimumWidth(450);
}

CSearchProgressDlg::~CSearchProgressDlg() {
    relay->RequestStop();
    if (importer.joinable()) {
        importer.join();
    }
}

void CSearchProgressDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (started) {
        return;
    }
    started = true;
    filesSeen = 0;
    sinceStart.start();
    ImportOptions options{extensions, pipelineLimits, exclusions};
    try {
        importer = std::thread([this, options = std::move(options)] {
            const bool completed = ImportFolder(
                *repository, rootFolder, options, *relay, [this](const ImportMessage& message) {
                    if (message.kind == ImportMessage::Kind::Skipped) {
                        skipped.append(message.text);
                    } else if (message.kind == ImportMessage::Kind::UnreadFolder) {
                        unreadFolders.append(message.text);
                    } else if (message.kind == ImportMessage::Kind::Excluded) {
                        excludedFiles = message.excludedFiles;
                        excludedFolders = message.excludedFolders;
                    }
                });
            QMetaObject::invokeMethod(
                this, [this, completed] { OnImportEnded(completed); }, Qt::QueuedConnection);
        });
    } catch (const std::system_error&) {
        // The dialog stays up with its first texts until Stop.
    }
}

void CSearchProgressDlg::reject() {
    if (!importer.joinable()) {
        QDialog::reject();
        return;
    }
    // What is not added yet is dropped; the dialog ends once the import has returned.
    stopRequested = true;
    relay->RequestStop();
}

void CSearchProgressDlg::ShowProgress(const ProgressReport& report, bool final) {
    filesSeen = static_cast<int>(report.done);
    if (final || !sinceShown.isValid() || sinceShown.elapsed() >= kShowEveryMs) {
        sinceShown.start();
        ShowCounts(report);
    }
    if (report.done == 0) {
        return;
    }
    // The count names the last tenth file handled: setting a label is dear next to a small
    // picture, and a count that moves by tens reads as calmly as it did.
    countLabel->setText(tr("Total count: %1").arg((report.done - 1) / 10 * 10));
    if (!report.item.isEmpty()) {
        pathLabel->setText(tr("File: %1").arg(report.item));
    }
}

void CSearchProgressDlg::OnImportEnded(bool completed) {
    importer.join();
    // The last report may still be on its way.
    ShowProgress(relay->Latest(), true);
    if (completed && !stopRequested) {
        accept();
    } else {
        QDialog::reject();
    }
}

void CSearchProgressDlg::ShowCounts(const ProgressReport& report) {
    const QLocale locale;
    if (report.total == 0) {
        // The walk goes on: the files found so far, the signatures made of them.
        if (report.found > 0) {
            foundLabel->setText(tr("Files found so far: %1; signatures made: %2")
                                    .arg(locale.toString(qulonglong{report.found}),
                                         locale.toString(qulonglong{report.done})));
        }
        return;
    }
    foundLabel->setText(tr("Signatures made: %1 of %2 files found")
                            .arg(locale.toString(qulonglong{report.done}),
                                 locale.toString(qulonglong{report.total})));
    progressBar->setRange(0, ClampedInt(report.total));
    progressBar->setValue(ClampedInt(std::min(report.done, report.total)));
    const std::optional<double> left =
        SecondsLeft(report.done, report.total, static_cast<double>(sinceStart.elapsed()) / 1000);
    timeLabel->setText(left ? tr("Time left: %1").arg(TimeLeftText(*left)) : QString());
}

}  // namespace vistrel
