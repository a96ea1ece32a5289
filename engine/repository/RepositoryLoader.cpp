#include "RepositoryLoader.h"

#include "PictureRepository.h"

#include "RepositoryFileParser.h"

#include <QByteArray>
#include <QFile>
#include <QIODevice>

#include <cstdint>
#include <exception>
#include <optional>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vistrel {
namespace {

// Opens the file for reading only when it is a regular file. A FIFO opened for reading blocks
// until some other program writes to it, and a device may never end: the check is made on the
// file that was opened, without blocking, so nothing can swap the name in between.
bool OpenRegularFile(const QString& path, QFile& file) {
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) ||
        !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return false;
    }
    return true;
}

bool AddEntries(CPictureRepository& repository, RepositoryFileContents& contents, int workers,
                LoadProgress* progress) {
    if (progress != nullptr) {
        progress->total = static_cast<std::int64_t>(contents.paths.size());
    }
    repository.AddPictures(contents.paths, workers, [progress] {
        if (progress != nullptr) {
            progress->done.fetch_add(1, std::memory_order_relaxed);
        }
    });
    // The parser saw every path once, so records and entries are the same.
    if (repository.GetCount() != static_cast<std::int32_t>(contents.paths.size())) {
        return false;
    }
    for (std::size_t i = 0; i < contents.links.size(); ++i) {
        repository.GetPicture(static_cast<std::int32_t>(i)).similar = std::move(contents.links[i]);
    }
    return true;
}

}  // namespace

bool ReadRepository(CPictureRepository& repository, QIODevice& file, int workers,
                    LoadProgress* progress) {
    const bool wasModified = repository.IsModified();
    repository.RemoveAllPictures();
    bool ok = false;
    try {
        // The whole file is checked before any picture is decoded: a damaged file fails at once,
        // however many pictures it names.
        std::optional<RepositoryFileContents> contents = ParseRepositoryFile(file);
        ok = contents.has_value() && AddEntries(repository, *contents, workers, progress);
    } catch (const std::exception&) {
        // Out of memory on a huge file: the load failed, like any other broken file.
        ok = false;
    }
    if (ok) {
        // The repository is exactly what its file holds.
        repository.ClearModified();
    } else {
        repository.RemoveAllPictures();
        // Nothing of the file was kept, so nothing new needs saving.
        if (!wasModified) {
            repository.ClearModified();
        }
    }
    return ok;
}

int LoadRepositoryThread(LoadParams* params) {
    bool ok = false;
    if (params->repository != nullptr) {
        CPictureRepository& repository = *params->repository;
        QFile file;
        if (OpenRegularFile(params->path, file)) {
            ok = ReadRepository(repository, file, 0, &params->progress);
        } else {
            repository.RemoveAllPictures();
        }
    }
    params->succeeded = ok;
    if (params->finished) {
        params->finished(ok);
    }
    return ok ? 1 : 0;
}

}  // namespace vistrel
