#include "RestoreCopy.h"

#include <QRandomGenerator>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdio>
#include <vector>

namespace vistrel {

namespace {

// Closes the descriptor it owns.
class OwnedDescriptor {
public:
    explicit OwnedDescriptor(int fd) : fd(fd) {}
    OwnedDescriptor(const OwnedDescriptor&) = delete;
    OwnedDescriptor& operator=(const OwnedDescriptor&) = delete;
    ~OwnedDescriptor() { Close(); }
    int Get() const { return fd; }
    // The error of the close itself, which can be the first news of a failed write.
    int Close() {
        const int result = fd >= 0 && ::close(fd) != 0 ? errno : 0;
        fd = -1;
        return result;
    }

private:
    int fd;
};

int CopyBytes(int from, int to) {
    std::vector<char> buffer(std::size_t{1} << 20);
    for (;;) {
        const ssize_t got = ::read(from, buffer.data(), buffer.size());
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        if (got == 0) {
            return 0;
        }
        ssize_t written = 0;
        while (written < got) {
            const ssize_t put =
                ::write(to, buffer.data() + written, static_cast<std::size_t>(got - written));
            if (put < 0) {
                if (errno == EINTR) {
                    continue;
                }
                return errno;
            }
            written += put;
        }
    }
}

// Gives `temporary` the name `name` in `folder`, never replacing what is there.
int RenameNoReplaceAt(int folder, const QByteArray& temporary, const QByteArray& name) {
    if (renameat2(folder, temporary.constData(), folder, name.constData(), RENAME_NOREPLACE) == 0) {
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return errno;
    }
    // A file system without RENAME_NOREPLACE: a hard link fails on an existing name too.
    if (linkat(folder, temporary.constData(), folder, name.constData(), 0) != 0) {
        return errno;
    }
    unlinkat(folder, temporary.constData(), 0);
    return 0;
}

// Fills the open, empty `to` with `from`'s bytes, permissions and times, and syncs it.
int CopyContentAndAttributes(int from, const struct stat& status, int to) {
    if (const int error = CopyBytes(from, to); error != 0) {
        return error;
    }
    if (fchmod(to, status.st_mode & 07777) != 0) {
        return errno;
    }
    // After the last write, which would set the modification time anew.
    const struct timespec times[2] = {status.st_atim, status.st_mtim};
    if (futimens(to, times) != 0) {
        return errno;
    }
    return fsync(to) == 0 ? 0 : errno;
}

}  // namespace

int CopyIntoFolder(const QByteArray& source, int folder, const QByteArray& name) {
    const OwnedDescriptor from(::open(source.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (from.Get() < 0) {
        return errno;
    }
    struct stat status {};
    if (fstat(from.Get(), &status) != 0) {
        return errno;
    }
    if (!S_ISREG(status.st_mode)) {
        return EINVAL;
    }
    // A short hidden name of our own beside the target: the target's own name may be too long
    // to take a suffix.
    QByteArray temporary;
    int created = -1;
    for (int attempt = 0; attempt < 100 && created < 0; ++attempt) {
        temporary = QByteArrayLiteral(".vistrel-restore-") +
                    QByteArray::number(QRandomGenerator::global()->generate64(), 36);
        created = ::openat(folder, temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                           S_IRUSR | S_IWUSR);
        if (created < 0 && errno != EEXIST) {
            return errno;
        }
    }
    if (created < 0) {
        return EEXIST;
    }
    OwnedDescriptor to(created);
    int error = CopyContentAndAttributes(from.Get(), status, to.Get());
    if (const int closing = to.Close(); error == 0) {
        error = closing;
    }
    if (error == 0) {
        error = RenameNoReplaceAt(folder, temporary, name);
    }
    if (error != 0) {
        unlinkat(folder, temporary.constData(), 0);
    }
    return error;
}

}  // namespace vistrel
