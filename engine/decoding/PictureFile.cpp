#include "PictureFile.h"

#include <algorithm>
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

WholeFileRead ReadWholePictureFile(const QString& path, qint64 mostBytes, QByteArray& bytes) {
    bytes.clear();
    QFile file;
    if (!OpenPictureFile(path, file).Opened()) {
        return WholeFileRead::Unreadable;
    }
    const qint64 size = file.size();
    if (size > mostBytes) {
        return WholeFileRead::TooLarge;
    }
    // One byte more than the size says, so that the end is found by the first reads; a file that
    // grows, or one of the kernel's that tells no size, takes more room as it comes.
    qint64 room = std::min(size, mostBytes) + 1;
    bytes.resize(room);
    qint64 filled = 0;
    for (;;) {
        if (filled == room) {
            if (room > mostBytes) {
                bytes.clear();
                return WholeFileRead::TooLarge;
            }
            room = std::min(2 * room, mostBytes + 1);
            bytes.resize(room);
        }
        const ssize_t got =
            ::read(file.handle(), bytes.data() + filled, static_cast<std::size_t>(room - filled));
        if (got == 0) {
            break;
        }
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            bytes.clear();
            return WholeFileRead::Unreadable;
        }
        filled += got;
    }
    bytes.truncate(filled);
    return WholeFileRead::Read;
}

}  // namespace vistrel
