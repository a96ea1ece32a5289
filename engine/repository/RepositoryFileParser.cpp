#include "RepositoryFileParser.h"

#include <QByteArray>
#include <QIODevice>
#include <QSet>

#include <cstdint>
#include <limits>

namespace vistrel {
namespace {

constexpr char16_t kLineFeed = u'\n';
constexpr qint64 kChunkBytes = 64 * 1024;
// "-2147483648" is the longest number the writer can make.
constexpr int kLongestNumber = 11;

// Reads UTF-16 little-endian code units from a device, in chunks of its own so that a code unit
// split across two reads of a pipe is still put together.
class Utf16Reader {
public:
    explicit Utf16Reader(QIODevice& device) : device(device) {}

    // False at the end of the file, or when only a stray odd byte is left.
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

    // True when not even one byte is left: a file that ends in half a code unit was not written
    // by the program.
    bool AtEnd() {
        Refill();
        return chunk.size() == chunkPos;
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
    // Keeps an odd byte left from the last chunk; false when no whole code unit is left.
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

// A number line as the writer makes it: an optional minus sign, then decimal digits, then a
// line feed, which only the file's last line may lack. Anything else (blanks, a plus sign,
// a carriage return, a value beyond 32 bits, the bytes of a file in another encoding) means
// the file is not a repository file.
bool ReadNumber(Utf16Reader& reader, std::int32_t& number) {
    std::int64_t value = 0;
    bool negative = false;
    int digits = 0;
    for (int length = 0;; ++length) {
        char16_t unit = 0;
        if (!reader.ReadUnit(unit) || unit == kLineFeed) {
            break;
        }
        if (length == 0 && unit == u'-') {
            negative = true;
        } else if (unit >= u'0' && unit <= u'9' && length < kLongestNumber) {
            value = value * 10 + (unit - u'0');
            ++digits;
        } else {
            return false;
        }
    }
    if (digits == 0) {
        return false;
    }
    value = negative ? -value : value;
    if (value < std::numeric_limits<std::int32_t>::min() ||
        value > std::numeric_limits<std::int32_t>::max()) {
        return false;
    }
    number = static_cast<std::int32_t>(value);
    return true;
}

// A count of things that follow: a number that is not negative.
bool ReadCount(Utf16Reader& reader, std::int32_t& count) {
    return ReadNumber(reader, count) && count >= 0;
}

// Exactly `length` code units, whatever they are, then the line feed that ends the path line.
bool ReadPath(Utf16Reader& reader, std::int32_t length, QString& path) {
    // A path longer than the rest of the file cannot be whole, and must not size anything.
    const qint64 remaining = reader.RemainingUnits();
    if (length <= 0 || (remaining >= 0 && length >= remaining)) {
        return false;
    }
    path.clear();
    if (remaining >= 0) {
        path.reserve(length);
    }
    char16_t unit = 0;
    for (std::int32_t i = 0; i < length; ++i) {
        if (!reader.ReadUnit(unit)) {
            return false;
        }
        path.append(QChar(unit));
    }
    return reader.ReadUnit(unit) && unit == kLineFeed;
}

bool ReadRecords(Utf16Reader& reader, RepositoryFileContents& contents) {
    std::int32_t declared = 0;
    if (!ReadCount(reader, declared)) {
        return false;
    }
    // Grown record by record, never sized by the declared count: every record takes at least a
    // few code units of the file, so these stay within the file's size.
    QSet<QString> seen;
    for (std::int32_t record = 0; record < declared; ++record) {
        std::int32_t length = 0;
        QString path;
        if (!ReadNumber(reader, length) || !ReadPath(reader, length, path) || seen.contains(path)) {
            return false;
        }
        seen.insert(path);
        std::int32_t linkCount = 0;
        if (!ReadCount(reader, linkCount)) {
            return false;
        }
        std::vector<CSimilarInfo> links;
        for (std::int32_t k = 0; k < linkCount; ++k) {
            CSimilarInfo link;
            if (!ReadNumber(reader, link.index) || !ReadNumber(reader, link.factor) ||
                link.index < 0 || link.index >= declared || link.index == record) {
                return false;
            }
            if (link.factor >= 0 && link.factor <= 100) {
                links.push_back(link);
            }
        }
        contents.paths.push_back(std::move(path));
        contents.links.push_back(std::move(links));
    }
    return reader.AtEnd();
}

}  // namespace

std::optional<RepositoryFileContents> ParseRepositoryFile(QIODevice& file) {
    Utf16Reader reader(file);
    RepositoryFileContents contents;
    if (!ReadRecords(reader, contents)) {
        return std::nullopt;
    }
    return contents;
}

}  // namespace vistrel
