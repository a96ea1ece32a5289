#include "SearchProgressDlg.h"

#include "PictureRepository.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QSizePolicy>
#include <QVBoxLayout>

namespace vistrel {

CSearchProgressDlg::CSearchProgressDlg(QWidget* parent, CPictureRepository* repository,
                                       const QString& rootFolder, const QStringList& extensions,
                                       CFolderScanner::Limits limits)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      rootFolder(rootFolder),
      extensions(extensions),
      repository(repository),
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
}

void CSearchProgressDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (started) {
        return;
    }
    started = true;
    filesSeen = 0;
    scanner.SetPresentFiles(repository->Paths());
    // When the scan cannot start the dialog stays up with its first texts until Stop.
    scanner.Start(this, rootFolder, extensions,
                  [this](const CFolderScanner::Message& message) { OnScanMessage(message); });
}

void CSearchProgressDlg::reject() {
    scanner.Stop();
    QDialog::reject();
}

void CSearchProgressDlg::OnScanMessage(const CFolderScanner::Message& message) {
    switch (message.kind) {
        case CFolderScanner::Message::Kind::File:
            repository->AddPicture(message.text);
            // Redrawing is dear next to a small picture; every tenth file is enough.
            if (filesSeen % 10 == 0) {
                countLabel->setText(tr("Total count: %1").arg(filesSeen));
                repaint();
            }
            ++filesSeen;
            pathLabel->setText(tr("File: %1").arg(message.text));
            break;
        case CFolderScanner::Message::Kind::Error:
            // Folders that cannot be read are skipped without a word, as every other scan
            // failure.
            break;
        case CFolderScanner::Message::Kind::Skipped:
            skipped.append(message.text);
            break;
        case CFolderScanner::Message::Kind::Finished:
            accept();
            break;
    }
}

}  // namespace vistrel
