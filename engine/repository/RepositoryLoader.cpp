#include "RepositoryLoader.h"

#include "PictureRepository.h"

#include "RepositoryFileParser.h"

#include <QByteArray>
#include <QFile>
#include <QIODevice>

#include <cstdint>
#include <exception>
#include <optional>
#include <utility>
#include <vector>

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

bool StopRequested(const ProgressObserver* observer) {
    return observer != nullptr && observer->StopRequested();
}

// Fills the repository; `dropped` tells whether records were left out. False when the observer
// asked to stop: the repository then holds part of its file, which the caller throws away.
bool AddEntries(CPictureRepository& repository, RepositoryFileContents& contents,
                SigningLimits signing, ProgressObserver* observer, bool& dropped) {
    if (observer != nullptr) {
        // The total is known once the file is read, before the first picture is done.
        observer->Report({0, contents.paths.size(), QString()});
    }
    if (StopRequested(observer)) {
        return false;
    }
    // The appender asks the observer between pictures, so a stop ends the signatures promptly:
    // it waits only for the decodings in progress.
    repository.AddPictures(contents.paths, std::move(signing), observer);
    if (StopRequested(observer)) {
        return false;
    }
    // The parser saw every path once, so a record without an entry names a file that an
    // earlier record already holds under another path (a linked folder, a hard link): the
    // first record keeps it, the later one goes with its links.
    const std::size_t records = contents.paths.size();
    std::vector<std::int32_t> entryOf(records, -1);
    std::int32_t entries = 0;
    for (std::size_t i = 0; i < records; ++i) {
        if (repository.FindPicture(contents.paths[i]) == entries) {
            entryOf[i] = entries++;
        }
    }
    if (entries != repository.GetCount()) {
        return false;
    }
    for (std::size_t i = 0; i < contents.links.size() && i < records; ++i) {
        if (entryOf[i] < 0) {
            continue;
        }
        std::vector<CSimilarInfo>& links = contents.links[i];
        if (entries != static_cast<std::int32_t>(records)) {
            std::erase_if(links, [&entryOf](const CSimilarInfo& link) {
                return entryOf[static_cast<std::size_t>(link.index)] < 0;
            });
            for (CSimilarInfo& link : links) {
                link.index = entryOf[static_cast<std::size_t>(link.index)];
            }
        }
        repository.GetPicture(entryOf[i]).similar = std::move(links);
    }
    dropped = entries != static_cast<std::int32_t>(records);
    return true;
}

}  // namespace

bool ReadRepository(CPictureRepository& repository, QIODevice& file, SigningLimits signing,
                    ProgressObserver* observer) {
    const bool wasModified = repository.IsModified();
    repository.RemoveAllPictures();
    bool ok = false;
    bool dropped = false;
    try {
        // The whole file is checked before any picture is decoded: a damaged file fails at once,
        // however many pictures it names.
        std::optional<RepositoryFileContents> contents;
        if (!StopRequested(observer)) {
            contents = ParseRepositoryFile(file);
        }
        ok = contents.has_value() &&
             AddEntries(repository, *contents, std::move(signing), observer, dropped);
    } catch (const std::exception&) {
        // Out of memory on a huge file: the load failed, like any other broken file.
        ok = false;
    }
    if (ok && !dropped) {
        // The repository is exactly what its file holds.
        repository.ClearModified();
    } else if (ok) {
        // A record was left out: saving gives a file without it.
        repository.MarkModified();
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
            ok = ReadRepository(repository, file, {.cache = params->cache}, params->observer);
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
