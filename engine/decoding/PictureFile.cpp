#include "PictureFile.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vistrel {

namespace {

PictureFileOpening Failed(int error) {
    using Outcome = PictureFileOpening::Outcome;
    return {error == ENOENT || error == ENOTDIR ? Outcome::Missing : Outcome::Refused, error};
}

}  // namespace

PictureFileOpening OpenPictureFile(const QString& path, QFile& file) {
    using Outcome = PictureFileOpening::Outcome;
    const QByteArray name = QFile::encodeName(path);
    if (name.isEmpty()) {
        return {Outcome::Missing, ENOENT};
    }
    // Opening some devices has effects of its own; most such names never get that far.
    struct stat info {};
    if (::stat(name.constData(), &info) != 0) {
        return Failed(errno);
    }
    if (!S_ISREG(info.st_mode)) {
        return {Outcome::NotRegular, 0};
    }
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return Failed(errno);
    }
    if (::fstat(fd, &info) != 0) {
        const int error = errno;
        ::close(fd);
        return {Outcome::Refused, error};
    }
    if (!S_ISREG(info.st_mode)) {
        ::close(fd);
        return {Outcome::NotRegular, 0};
    }
    // O_NONBLOCK stays: a file on disk ignores it, and a kernel file that looks regular but
    // waits for events (/proc/kmsg) then fails a read instead of blocking it.
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return {Outcome::Refused, EIO};
    }
    return {Outcome::Opened, 0};
}

}  // namespace vistrel
