#include "SourceLoader.h"

#include "Console.h"
#include "FolderScanner.h"
#include "PictureFormats.h"
#include "PictureRepository.h"
#include "ProgramSettings.h"
#include "RepositoryLoader.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QObject>

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <future>

namespace vistrel::cli {

namespace {

bool IsRepositoryFile(const QString& path) {
    return path.endsWith(QLatin1String(".qrx"), Qt::CaseInsensitive);
}

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

SourceLoader::SourceLoader(CPictureRepository& repository, Console& console)
    : repository(repository), console(console) {}

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
    if (!CheckSource(source, error)) {
        return false;
    }
    const QString path = AbsolutePath(source);
    if (QFileInfo(path).isDir()) {
        return ScanFolder(path, error);
    }
    if (IsRepositoryFile(path)) {
        return LoadRepositoryFile(path, error);
    }
    repository.AddPicture(path);
    if (repository.GetPicture(repository.FindPicture(path)).loadError) {
        error = QStringLiteral("cannot read picture '%1': not a picture that can be decoded")
                    .arg(source);
        return false;
    }
    return true;
}

bool SourceLoader::ScanFolder(const QString& folder, QString& error) {
    scanned = true;
    QStringList extensions;
    GetEnabledExtensions(TheProgramSettings().enabledFormats, extensions);

    QElapsedTimer clock;
    clock.start();
    std::uint64_t found = 0;
    QObject receiverContext;
    QEventLoop loop;
    CFolderScanner scanner;
    scanner.SetPresentFiles(repository.Paths());
    const bool started = scanner.Start(
        &receiverContext, folder, extensions, [&](const CFolderScanner::Message& message) {
            switch (message.kind) {
                case CFolderScanner::Message::Kind::File: {
                    const int before = repository.GetCount();
                    repository.AddPicture(message.text);
                    ++found;
                    WarnUnreadableFrom(before);
                    console.Progress({QStringLiteral("scanning"), QStringLiteral("pictures"), found,
                                      0, clock.elapsed() / 1000.0});
                    break;
                }
                case CFolderScanner::Message::Kind::Error:
                case CFolderScanner::Message::Kind::Skipped:
                    console.Warning(message.text);
                    break;
                case CFolderScanner::Message::Kind::Finished:
                    loop.quit();
                    break;
            }
        });
    if (!started) {
        error =
            QStringLiteral("cannot scan '%1': the scan thread could not be started").arg(folder);
        return false;
    }
    loop.exec();
    scanner.Stop();
    console.EndProgress();
    scanSeconds += clock.elapsed() / 1000.0;
    return true;
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
    auto reading = std::async(std::launch::async, [&] { return ReadRepository(target, input); });
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
            repository.AddPicture(scratch.GetPicture(i).path);
        }
    }
    WarnUnreadableFrom(first);
    return true;
}

void SourceLoader::WarnUnreadableFrom(int firstIndex) {
    for (std::int32_t i = firstIndex; i < repository.GetCount(); ++i) {
        if (repository.GetPicture(i).loadError) {
            console.Warning(
                QStringLiteral("cannot read picture '%1'").arg(repository.GetPicture(i).path));
        }
    }
}

}  // namespace vistrel::cli
