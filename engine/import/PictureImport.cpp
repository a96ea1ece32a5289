#include "PictureImport.h"

#include "repository/PictureAppender.h"
#include "repository/PictureRepository.h"
#include "scanning/FolderScanner.h"

namespace vistrel {

namespace {

// Tells of every picture appended that cannot be read.
PictureAppender::Appended UnreadableTeller(const CPictureRepository& repository,
                                           const ImportMessages& messages) {
    if (!messages) {
        return {};
    }
    return [&repository, &messages](const QString& path, std::int32_t newEntry) {
        if (newEntry >= 0 && repository.GetPicture(newEntry).loadError) {
            messages({ImportMessage::Kind::UnreadablePicture, path});
        }
    };
}

}  // namespace

bool ImportFolder(CPictureRepository& repository, const QString& folder,
                  const ImportOptions& options, ProgressObserver& observer,
                  const ImportMessages& messages) {
    PictureAppender appender(repository, options.signing, &observer,
                             UnreadableTeller(repository, messages));
    CFolderScanner scanner(options.extensions);
    scanner.SetPresentFiles(repository.Paths());
    scanner.SetExclusions(options.exclusions);
    // The scan lists the files on this thread; the pipeline makes their signatures on others,
    // and whatever is made is appended between two files found, so that memory stays bounded.
    const bool scanned = scanner.Scan(
        folder,
        [&](const CFolderScanner::Message& message) {
            switch (message.kind) {
                case CFolderScanner::Message::Kind::File:
                    appender.Add(message.text);
                    appender.AppendReady();
                    break;
                case CFolderScanner::Message::Kind::Error:
                    if (messages) {
                        messages({ImportMessage::Kind::UnreadFolder, message.text});
                    }
                    break;
                case CFolderScanner::Message::Kind::Skipped:
                    if (messages) {
                        messages({ImportMessage::Kind::Skipped, message.text});
                    }
                    break;
                case CFolderScanner::Message::Kind::Finished:
                    if (messages && (message.excludedFiles > 0 || message.excludedFolders > 0)) {
                        messages({ImportMessage::Kind::Excluded, QString(), message.excludedFiles,
                                  message.excludedFolders});
                    }
                    break;
            }
        },
        [&observer] { return observer.StopRequested(); });
    // After a stop Finish drops the rest at once.
    return appender.Finish() && scanned;
}

bool ImportPictures(CPictureRepository& repository, const std::vector<QString>& paths,
                    const ImportOptions& options, ProgressObserver& observer,
                    const ImportMessages& messages) {
    PictureAppender appender(repository, options.signing, &observer,
                             UnreadableTeller(repository, messages));
    for (const QString& path : paths) {
        appender.Add(path);
    }
    return appender.Finish();
}

}  // namespace vistrel
