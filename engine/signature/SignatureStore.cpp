#include "SignatureStore.h"

#include "CacheFolder.h"
#include "SignatureCache.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <xxhash.h>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace vistrel {

namespace {

// Each signature starts on a cache line of its own.
constexpr std::uint64_t kAlignment = 64;
// How many signatures kept in memory between two looks at the memory left.
constexpr std::uint64_t kMemoryLookEvery = 256;

QString SystemReason(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

}  // namespace

std::uint64_t SignatureChecksum(const std::uint8_t* bytes, std::size_t size) {
    return XXH3_64bits(bytes, size);
}

void SignatureBytes::WillRead() const {
    if (!InStore()) {
        return;
    }
    // Whole pages: the advice wants an aligned start. A refusal only costs the read ahead.
    static const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    const auto start = reinterpret_cast<std::uintptr_t>(shared->first) & ~(page - 1);
    const auto end = reinterpret_cast<std::uintptr_t>(shared->first) + shared->size;
    madvise(reinterpret_cast<void*>(start), end - start, MADV_WILLNEED);
}

bool SignatureBytes::Intact() const {
    return !InStore() || SignatureChecksum(shared->first, shared->size) == shared->checksum;
}

std::uint64_t AvailableMemoryBytes() {
    QFile meminfo(QStringLiteral("/proc/meminfo"));
    if (!meminfo.open(QIODevice::ReadOnly)) {
        return 0;
    }
    // A file of /proc has no size: it is read whole, not up to its end.
    for (const QByteArray& line : meminfo.readAll().split('\n')) {
        if (line.startsWith("MemAvailable:")) {
            return line.mid(13).trimmed().split(' ').value(0).toULongLong() * 1024;
        }
    }
    return 0;
}

/// One mapping of a part of the file, unmapped when the last signature in it is gone.
struct SignatureStore::Part {
    std::uint8_t* address = nullptr;
    std::uint64_t length = 0;
    std::uint64_t offset = 0;  // in the file
    ~Part() {
        if (address != nullptr) {
            munmap(address, length);
        }
    }
};

QString SignatureStore::FolderFor(const SignatureCache* cache) {
    if (cache != nullptr && cache->IsOpen()) {
        return QFileInfo(cache->Path()).absolutePath();
    }
    // Qt gives no temporary folder when TMPDIR names none that exists.
    const QString temporary = QDir::tempPath();
    return temporary.isEmpty() ? QStringLiteral("/tmp") : temporary;
}

SignatureStore::SignatureStore(const QString& storeFolder, std::uint64_t bytesPerPart)
    : folder(storeFolder), partBytes(bytesPerPart) {
    if (folder.isEmpty()) {
        return;
    }
    // O_TMPFILE: the file never has a name, and goes with the last descriptor and mapping.
    fd = open(QFile::encodeName(folder).constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd < 0) {
        FallBack(QStringLiteral("the file could not be made in %1 (%2)")
                     .arg(folder, SystemReason(errno)));
        return;
    }
    appending = true;
}

SignatureStore::~SignatureStore() {
    if (fd >= 0) {
        close(fd);  // the mappings still held by signatures stay valid
    }
}

void SignatureStore::FallBack(const QString& why) {
    if (warning.isEmpty()) {
        warning = QStringLiteral("Signatures are held in memory: %1.").arg(why);
    }
    // The descriptor stays open: the signatures written already are read on, and checked.
    appending = false;
    part.reset();
}

bool SignatureStore::AddPart(std::size_t atLeast) {
    // Whole pages: every part's mapping must start on a page of the file.
    const auto page = static_cast<std::uint64_t>(sysconf(_SC_PAGESIZE));
    const std::uint64_t length =
        (std::max<std::uint64_t>(partBytes, atLeast) + page - 1) / page * page;
    if (const std::optional<VolumeSpace> space = SpaceOf(folder);
        space && !LeavesFreeSpace(space->freeBytes, space->volumeBytes, length)) {
        FallBack(QStringLiteral("the disk holding %1 is nearly full").arg(folder));
        return false;
    }
    // Reserved before it is mapped: writing a page of a mapping cannot report a full disk.
    if (const int error =
            posix_fallocate(fd, static_cast<off_t>(fileBytes), static_cast<off_t>(length));
        error != 0) {
        ShortenToWhatIsKept();
        FallBack(
            QStringLiteral("the file in %1 could not grow (%2)").arg(folder, SystemReason(error)));
        return false;
    }
    // Read only: the bytes are written to the file, never through the mapping, whose first
    // write to each page would have the system read (zero) it from the disk first.
    void* address = mmap(nullptr, length, PROT_READ, MAP_SHARED, fd, static_cast<off_t>(fileBytes));
    if (address == MAP_FAILED) {
        ShortenToWhatIsKept();
        FallBack(QStringLiteral("the file in %1 could not be mapped (%2)")
                     .arg(folder, SystemReason(errno)));
        return false;
    }
    auto made = std::make_shared<Part>();
    made->address = static_cast<std::uint8_t*>(address);
    made->length = length;
    made->offset = fileBytes;
    part = std::move(made);
    partUsed = 0;
    fileBytes += length;
    return true;
}

bool SignatureStore::WriteWhole(const std::uint8_t* bytes, std::uint64_t size,
                                std::uint64_t offset) {
    while (size > 0) {
        const ssize_t written = pwrite(fd, bytes, size, static_cast<off_t>(offset));
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            FallBack(QStringLiteral("the file in %1 could not be written (%2)")
                         .arg(folder, SystemReason(written < 0 ? errno : ENOSPC)));
            return false;
        }
        bytes += written;
        size -= static_cast<std::uint64_t>(written);
        offset += static_cast<std::uint64_t>(written);
    }
    return true;
}

void SignatureStore::ShortenToWhatIsKept() {
    // A reservation that failed half-way may have lengthened the file; Intact wants its length.
    if (ftruncate(fd, static_cast<off_t>(fileBytes)) != 0) {
        close(fd);  // the length cannot be checked any more, nor need be: the mappings stay
        fd = -1;
    }
}

SignatureBytes SignatureStore::Keep(const SignatureBytes& signature) {
    if (signature.empty()) {
        return signature;
    }
    const std::lock_guard lock(mutex);
    if (!appending) {
        // Looked at again on every call once short, so that adding may resume when memory is.
        if (!warning.isEmpty() && (outOfRoom || ++keptInMemory % kMemoryLookEvery == 0)) {
            const std::uint64_t available = AvailableMemoryBytes();
            outOfRoom = available != 0 && available < kMemoryReserveBytes;
        }
        return outOfRoom ? SignatureBytes() : signature;
    }
    const std::uint64_t size = signature.size();
    if ((!part || partUsed + size > part->length) && !AddPart(size)) {
        return signature;
    }
    if (!WriteWhole(signature.data(), size, part->offset + partUsed)) {
        return signature;
    }
    const std::uint8_t* first = part->address + partUsed;
    partUsed += (size + kAlignment - 1) / kAlignment * kAlignment;
    return SignatureBytes(signature, part, first, SignatureChecksum(signature.data(), size));
}

QString SignatureStore::Warning() const {
    const std::lock_guard lock(mutex);
    return warning;
}

bool SignatureStore::OutOfRoom() const {
    const std::lock_guard lock(mutex);
    return outOfRoom;
}

bool SignatureStore::Intact() const {
    const std::lock_guard lock(mutex);
    if (fd < 0) {
        return true;
    }
    struct stat status {};
    return fstat(fd, &status) == 0 && static_cast<std::uint64_t>(status.st_size) == fileBytes;
}

std::uint64_t SignatureStore::FileBytes() const {
    const std::lock_guard lock(mutex);
    return fileBytes;
}

}  // namespace vistrel
