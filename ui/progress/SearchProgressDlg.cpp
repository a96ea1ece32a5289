#include "SearchProgressDlg.h"

#include "repository/PictureRepository.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QSizePolicy>
#include <QTimer>
#include <QVBoxLayout>

#include <chrono>

namespace vistrel {

CSearchProgressDlg::CSearchProgressDlg(QWidget* parent, CPictureRepository* repository,
                                       const QString& rootFolder, const QStringList& extensions,
                                       CFolderScanner::Limits limits,
                                       SignaturePipeline::Limits pipelineLimits)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      rootFolder(rootFolder),
      extensions(extensions),
      repository(repository),
      pipelineLimits(std::move(pipelineLimits)),
      addTimer(new QTimer(this)),
      countLabel(new QLabel(tr("Count:"), this)),
      pathLabel(new QLabel(tr("Path"), this)),
      stopButton(new QPushButton(tr("Stop"), this)),
      scanner(limits) {
    setWindowTitle(tr("Search Progress"));
    setModal(true);
    countLabel->setObjectName(QStringLiteral("countLabel"));
    pathLabel->setObjectName(QStringLiteral("pathLabel"));
    stopButton->setObjectName(QStringLiteral("stopButton"));
    // A long path must not stretch the dialog across the screen.
    pathLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    pathLabel->setTextFormat(Qt::PlainText);
    // Enter must not stop the scan: Stop is never the default button.
    stopButton->setAutoDefault(false);
    stopButton->setDefault(false);
    connect(stopButton, &QPushButton::clicked, this, &CSearchProgressDlg::reject);
    addTimer->setSingleShot(true);
    connect(addTimer, &QTimer::timeout, this, &CSearchProgressDlg::AddFinishedFiles);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(stopButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(countLabel);
    layout->addWidget(pathLabel);
    layout->addLayout(buttons);
    setMinimumWidth(450);
}

CSearchProgressDlg::~CSearchProgressDlg() {
    scanner.Stop();
    if (pipeline) {
        pipeline->Stop();
    }
}

void CSearchProgressDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (started) {
        return;
    }
    started = true;
    filesSeen = 0;
    pipeline = std::make_unique<SignaturePipeline>(repository->Side(), pipelineLimits);
    scanner.SetPresentFiles(repository->Paths());
    // When the scan cannot start the dialog stays up with its first texts until Stop.
    scanner.Start(this, rootFolder, extensions,
                  [this](const CFolderScanner::Message& message) { OnScanMessage(message); });
}

void CSearchProgressDlg::reject() {
    scanner.Stop();
    addTimer->stop();
    if (pipeline) {
        pipeline->Stop();  // what is not added yet is dropped
    }
    QDialog::reject();
}

void CSearchProgressDlg::OnScanMessage(const CFolderScanner::Message& message) {
    switch (message.kind) {
        case CFolderScanner::Message::Kind::File: {
            // A file the repository holds already is not decoded again; it keeps its place in
            // the order all the same.
            const bool toSign = repository->FindPicture(message.text) < 0;
            if (toSign) {
                pipeline->Add(message.text);
            }
            found.push_back(FoundFile{message.text, toSign});
            break;
        }
        case CFolderScanner::Message::Kind::Error:
            // Folders that cannot be read are skipped without a word, as every other scan
            // failure.
            break;
        case CFolderScanner::Message::Kind::Skipped:
            skipped.append(message.text);
            break;
        case CFolderScanner::Message::Kind::Finished:
            scanFinished = true;
            pipeline->Finish();
            break;
    }
    if (!addTimer->isActive()) {
        addTimer->start(10);
    }
}

void CSearchProgressDlg::AddFinishedFiles() {
    using Clock = std::chrono::steady_clock;
    // Short turns, so that the window answers between them and Stop takes effect soon.
    constexpr auto kTurnTime = std::chrono::milliseconds(20);
    constexpr int kTurnFiles = 100;
    const Clock::time_point turnEnd = Clock::now() + kTurnTime;
    QString lastPath;
    for (int handled = 0; !found.empty() && handled < kTurnFiles && Clock::now() < turnEnd;
         ++handled) {
        const FoundFile& next = found.front();
        if (next.toSign) {
            SignaturePipeline::Result made;
            if (!pipeline->TryNext(made)) {
                break;  // not made yet
            }
            repository->AddSignedPicture(made.path, std::move(made.signature));
        } else {
            repository->AddPicture(next.path);  // held already: nothing to make
        }
        // The count moves on every tenth file: setting a label is dear next to a small picture.
        if (filesSeen % 10 == 0) {
            countLabel->setText(tr("Total count: %1").arg(filesSeen));
        }
        ++filesSeen;
        lastPath = next.path;
        found.pop_front();
    }
    if (!lastPath.isEmpty()) {
        pathLabel->setText(tr("File: %1").arg(lastPath));
    }
    if (scanFinished && found.empty()) {
        accept();
        return;
    }
    if (!found.empty()) {
        addTimer->start(found.front().toSign && lastPath.isEmpty() ? 10 : 0);
    }
}

}  // namespace vistrel
