#include "RepositoryLoader.h"

#include "PictureRepository.h"

#include <QByteArray>
#include <QFile>
#include <QIODevice>

#include <algorithm>
#include <cstdint>
#include <exception>
#include <limits>
#include <vector>

namespace vistrel {
namespace {

// Number lines are read with this capacity, i.e. at most 255 code units; a longer line leaves
// its tail to be read as the next line, which is how the format has always been read.
constexpr qint64 kNumberCapacity = 256;
constexpr char16_t kLineFeed = u'\n';
constexpr qint64 kChunkBytes = 64 * 1024;

// Reads UTF-16 little-endian code units from a device, in chunks of its own so that a code unit
// split across two reads of a pipe is still put together.
class Utf16LineReader {
public:
    explicit Utf16LineReader(QIODevice& device) : device(device) {}

    // Reads code units up to and including the first line feed, but at most capacity - 1 of
    // them. False only at the end of the file before any code unit was read; a last line without
    // its line feed is an ordinary line.
    bool ReadLine(qint64 capacity, QString& line) {
        line.clear();
        char16_t unit = 0;
        for (qint64 count = 0; count < capacity - 1; ++count) {
            if (!ReadUnit(unit)) {
                return count > 0;
            }
            line.append(QChar(unit));
            if (unit == kLineFeed) {
                break;
            }
        }
        return true;
    }

    // Code units not read yet, or -1 when the device cannot tell (a pipe).
    qint64 RemainingUnits() const {
        if (device.isSequential()) {
            return -1;
        }
        const qint64 buffered = chunk.size() - chunkPos;
        return (buffered + device.size() - device.pos()) / 2;
    }

private:
    bool ReadUnit(char16_t& unit) {
        if (chunk.size() - chunkPos < 2 && !Refill()) {
            return false;
        }
        const auto low = static_cast<unsigned char>(chunk[chunkPos]);
        const auto high = static_cast<unsigned char>(chunk[chunkPos + 1]);
        chunkPos += 2;
        unit = static_cast<char16_t>(low | (high << 8));
        return true;
    }

    // Keeps an odd byte left from the last chunk; false when no whole code unit is left, so a
    // stray byte at the very end counts as the end of the file.
    bool Refill() {
        chunk.remove(0, chunkPos);
        chunkPos = 0;
        while (chunk.size() < 2) {
            const QByteArray more = device.read(kChunkBytes);
            if (more.isEmpty()) {
                return false;
            }
            chunk.append(more);
        }
        return true;
    }

    QIODevice& device;
    QByteArray chunk;
    qsizetype chunkPos = 0;
};

bool IsSpace(QChar c) {
    const char16_t u = c.unicode();
    return u == u' ' || (u >= u'\t' && u <= u'\r');
}

// The decimal string-to-long conversion the format was designed around: leading white space,
// an optional sign, digits up to the first other character; no digits give 0, and values
// beyond the 32-bit range give the nearest limit.
std::int32_t ToInt32(const QString& line) {
    qsizetype i = 0;
    const qsizetype n = line.size();
    while (i < n && IsSpace(line[i])) {
        ++i;
    }
    bool negative = false;
    if (i < n && (line[i] == u'+' || line[i] == u'-')) {
        negative = line[i] == u'-';
        ++i;
    }
    constexpr std::int64_t kCap = std::int64_t{1} << 31;
    std::int64_t value = 0;
    for (; i < n && line[i] >= u'0' && line[i] <= u'9'; ++i) {
        value = std::min(value * 10 + (line[i].unicode() - u'0'), kCap);
    }
    if (negative) {
        value = -value;
    }
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(
        value, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

// A link as the file states it: the owner's entry and the other end's record number. Records
// and entries differ when the file repeats a path, so links are resolved once every record is
// known.
struct PendingLink {
    std::int32_t owner = 0;
    std::int32_t record = 0;
    std::int32_t factor = 0;
};

bool ReadNumber(Utf16LineReader& reader, QString& line, std::int32_t& number) {
    if (!reader.ReadLine(kNumberCapacity, line)) {
        return false;
    }
    number = ToInt32(line);
    return true;
}

bool ReadRecords(CPictureRepository& repository, Utf16LineReader& reader) {
    QString line;
    std::int32_t declared = 0;
    if (!ReadNumber(reader, line, declared) || declared < 0) {
        return false;
    }
    // Grown record by record, never sized by the declared count: every record takes at least a
    // few code units of the file, so these stay within the file's size.
    std::vector<std::int32_t> entryOfRecord;
    std::vector<PendingLink> links;
    QString current;
    for (std::int32_t record = 0; record < declared; ++record) {
        std::int32_t length = 0;
        if (!ReadNumber(reader, line, length)) {
            return false;
        }
        if (length >= 0) {
            // A path longer than the rest of the file cannot be whole: the file is broken, and
            // the length must not size anything.
            const qint64 remaining = reader.RemainingUnits();
            if (remaining >= 0 && length > remaining) {
                return false;
            }
            if (!reader.ReadLine(qint64{length} + 2, line)) {
                return false;
            }
            line.truncate(length);
            // A path line shorter than declared ends in its line feed; a path never holds one,
            // or the next save would break the file.
            if (line.endsWith(QChar(kLineFeed))) {
                line.chop(1);
            }
            if (!line.isEmpty()) {
                current = line;
            }
        }
        // A record without a path of its own stands for the previous record's entry; the very
        // first one stands for nothing, since an empty path is no picture.
        std::int32_t owner = -1;
        if (!current.isEmpty()) {
            repository.AddPicture(current);
            owner = repository.FindPicture(current);
        }
        entryOfRecord.push_back(owner);

        std::int32_t linkCount = 0;
        if (!ReadNumber(reader, line, linkCount)) {
            return false;
        }
        for (std::int32_t k = 0; k < linkCount; ++k) {
            std::int32_t index = 0;
            std::int32_t factor = 0;
            if (!ReadNumber(reader, line, index) || !ReadNumber(reader, line, factor)) {
                return false;
            }
            if (owner >= 0 && index >= 0 && index < declared && factor >= 0 && factor <= 100) {
                links.push_back(PendingLink{owner, index, factor});
            }
        }
    }
    for (const PendingLink& link : links) {
        const std::int32_t target = entryOfRecord[static_cast<std::size_t>(link.record)];
        // Repeated paths can make a link point back at its owner or at a record without an
        // entry; neither may survive.
        if (target >= 0 && target != link.owner) {
            repository.GetPicture(link.owner).similar.push_back(CSimilarInfo{target, link.factor});
        }
    }
    return true;
}

}  // namespace

bool ReadRepository(CPictureRepository& repository, QIODevice& file) {
    const bool wasModified = repository.IsModified();
    repository.RemoveAllPictures();
    bool ok = false;
    try {
        Utf16LineReader reader(file);
        ok = ReadRecords(repository, reader);
    } catch (const std::exception&) {
        // Out of memory on a huge file: the load failed, like any other broken file.
        ok = false;
    }
    if (!ok) {
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
        QFile file(params->path);
        if (file.open(QIODevice::ReadOnly)) {
            ok = ReadRepository(repository, file);
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
