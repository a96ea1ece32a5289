#include "SourceLoader.h"

#include "signature/SignatureStore.h"

#include "Console.h"
#include "decoding/PictureProblem.h"
#include "import/PictureImport.h"
#include "repository/PictureRepository.h"
#include "repository/RepositoryLoader.h"
#include "signature/SignaturePipeline.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <future>
#include <utility>

namespace vistrel::cli {

namespace {

bool IsRepositoryFile(const QString& path) {
    return path.endsWith(QLatin1String(".qrx"), Qt::CaseInsensitive);
}

// The progress line of a folder's scan: pictures added of those found so far.
class ScanProgress : public ProgressObserver {
public:
    explicit ScanProgress(Console& console) : console(console) { clock.start(); }
    void Report(const ProgressReport& report) override {
        console.Progress({QStringLiteral("scanning"), QStringLiteral("pictures"), report.done,
                          report.total, Seconds()});
    }
    double Seconds() const { return clock.elapsed() / 1000.0; }

private:
    Console& console;
    QElapsedTimer clock;
};

// "3 folders", "1 picture file".
QString Counted(std::int64_t count, const char* one, const char* many) {
    return QStringLiteral("%1 %2").arg(count).arg(QLatin1String(count == 1 ? one : many));
}

// A single picture shows no progress.
class SilentProgress : public ProgressObserver {
public:
    void Report(const ProgressReport&) override {}
};

}  // namespace

QString AbsolutePath(const QString& path) {
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

QString UnreadableReason(const QString& path, bool folder) {
    const QByteArray name = QFile::encodeName(path);
    if (folder) {
        DIR* dir = opendir(name.constData());
        if (dir == nullptr) {
            return QString::fromLocal8Bit(std::strerror(errno));
        }
        closedir(dir);
        return QString();
    }
    const int descriptor = open(name.constData(), O_RDONLY | O_NONBLOCK);
    if (descriptor < 0) {
        return QString::fromLocal8Bit(std::strerror(errno));
    }
    close(descriptor);
    return QString();
}

QString UnreadablePictureReason(const QString& path) {
    return PictureProblemText(DiagnoseUnreadablePicture(path));
}

QString PictureFileProblem(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists()) {
        return QStringLiteral("no such file");
    }
    if (info.isDir()) {
        return QStringLiteral("it is a folder");
    }
    if (!info.isFile()) {
        return QStringLiteral("not a regular file");
    }
    return UnreadableReason(path, false);
}

SourceLoader::SourceLoader(CPictureRepository& repository, Console& console, QStringList extensions,
                           SigningLimits signing)
    : repository(repository),
      console(console),
      extensions(std::move(extensions)),
      signing(std::move(signing)) {
    repository.UseSignatureStore(
        std::make_shared<SignatureStore>(SignatureStore::FolderFor(this->signing.cache.get())));
}

bool SourceLoader::CheckSource(const QString& source, QString& error) {
    const QString path = AbsolutePath(source);
    const QFileInfo info(path);
    if (!info.exists()) {
        error = QStringLiteral("cannot read '%1': no such file or folder").arg(source);
        return false;
    }
    if (const QString reason = UnreadableReason(path, info.isDir()); !reason.isEmpty()) {
        error = QStringLiteral("cannot read '%1': %2").arg(source, reason);
        return false;
    }
    if (!info.isDir() && !info.isFile()) {
        error = QStringLiteral("cannot read '%1': not a folder, a picture or a repository file")
                    .arg(source);
        return false;
    }
    return true;
}

bool SourceLoader::AddSource(const QString& source, QString& error) {
    return AddOneSource(source, error) && SignaturesKept(error);
}

bool SourceLoader::SignaturesKept(QString& error) {
    const SignatureStore* store = repository.Store();
    if (store == nullptr) {
        return true;
    }
    if (const QString warning = store->Warning(); !warning.isEmpty() && !storeWarned) {
        console.Warning(warning);
        storeWarned = true;
    }
    if (store->OutOfRoom()) {
        error = QStringLiteral(
            "not enough memory to hold the signatures of every picture: the adding stopped");
        return false;
    }
    return true;
}

bool SourceLoader::AddOneSource(const QString& source, QString& error) {
    if (!CheckSource(source, error)) {
        return false;
    }
    const QString path = AbsolutePath(source);
    if (QFileInfo(path).isDir()) {
        ScanFolder(path);
        return true;
    }
    if (IsRepositoryFile(path)) {
        return LoadRepositoryFile(path, error);
    }
    AddPicture(path);  // through the signature cache
    // A file held already under another name (a linked folder, a hard link) is not added
    // again: two entries of one file would be reported as near-copies of each other.
    const std::int32_t entry = repository.FindFile(path);
    if (entry < 0) {
        error = QStringLiteral("cannot read picture '%1': %2")
                    .arg(source, UnreadableReason(path, false));
        return false;
    }
    if (const QString& held = repository.GetPicture(entry).path; held != path) {
        console.Warning(QStringLiteral("'%1' is the same file as '%2', which is already added")
                            .arg(source, held));
        return true;
    }
    if (repository.GetPicture(entry).loadError) {
        error = QStringLiteral("cannot read picture '%1': %2")
                    .arg(source, UnreadablePictureReason(path));
        return false;
    }
    return true;
}

void SourceLoader::ScanFolder(const QString& folder) {
    scanned = true;
    const ImportOptions options{extensions, signing, exclusions};
    ScanProgress progress(console);
    // Warnings in the order met: a folder when the scan reaches it, a picture when it is added.
    ImportFolder(repository, folder, options, progress, [&](const ImportMessage& message) {
        if (message.kind == ImportMessage::Kind::Excluded) {
            // The user asked for it: a line of information, not a warning.
            console.Info(QStringLiteral("'%1': skipped %2 and %3 by the exclusions")
                             .arg(folder,
                                  Counted(message.excludedFiles, "picture file", "picture files"),
                                  Counted(message.excludedFolders, "folder", "folders")));
            return;
        }
        console.Warning(message.kind == ImportMessage::Kind::UnreadablePicture
                            ? QStringLiteral("cannot read picture '%1': %2")
                                  .arg(message.text, UnreadablePictureReason(message.text))
                            : message.text);
    });
    console.EndProgress();
    scanSeconds += progress.Seconds();
}

void SourceLoader::AddPicture(const QString& path) {
    SilentProgress silent;
    ImportPictures(repository, {path}, ImportOptions{{}, signing}, silent);
}

bool SourceLoader::LoadRepositoryFile(const QString& file, QString& error) {
    QFile input(file);
    if (!input.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("cannot read repository '%1': %2").arg(file, input.errorString());
        return false;
    }
    loaded = true;
    // The first repository file is read straight into the repository, as Open Repository does;
    // a later one goes through a scratch repository and adds its pictures after the others.
    const bool direct = repository.IsEmpty();
    CPictureRepository scratch;
    CPictureRepository& target = direct ? repository : scratch;
    const int first = repository.GetCount();

    QElapsedTimer clock;
    clock.start();
    auto reading =
        std::async(std::launch::async, [&] { return ReadRepository(target, input, signing); });
    const QString phase = QStringLiteral("loading %1").arg(QFileInfo(file).fileName());
    while (reading.wait_for(std::chrono::milliseconds(100)) != std::future_status::ready) {
        console.Progress({phase, QString(), 0, 0, clock.elapsed() / 1000.0});
    }
    const bool read = reading.get();
    console.EndProgress();
    loadSeconds += clock.elapsed() / 1000.0;
    if (!read) {
        error = QStringLiteral("cannot read repository '%1': the file is damaged or cut short")
                    .arg(file);
        return false;
    }
    if (!direct) {
        for (std::int32_t i = 0; i < scratch.GetCount(); ++i) {
            const CPictureInfo& loadedEntry = scratch.GetPicture(i);
            repository.AddSignedPicture(loadedEntry.path, loadedEntry.signature);
        }
    }
    WarnUnreadableFrom(first);
    return true;
}

void SourceLoader::WarnUnreadableFrom(int firstIndex) {
    for (std::int32_t i = firstIndex; i < repository.GetCount(); ++i) {
        if (repository.GetPicture(i).loadError) {
            const QString& path = repository.GetPicture(i).path;
            console.Warning(QStringLiteral("cannot read picture '%1': %2")
                                .arg(path, UnreadablePictureReason(path)));
        }
    }
}

}  // namespace vistrel::cli
