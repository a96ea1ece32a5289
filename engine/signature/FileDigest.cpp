#include "FileDigest.h"

#include <QFile>

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <vector>

namespace vistrel {

namespace {

constexpr std::uint64_t kPrime1 = 0x9E3779B185EBCA87ULL;
constexpr std::uint64_t kPrime2 = 0xC2B2AE3D27D4EB4FULL;
constexpr std::uint64_t kPrime3 = 0x165667B19E3779F9ULL;
constexpr std::uint64_t kPrime4 = 0x85EBCA77C2B2AE63ULL;
constexpr std::uint64_t kPrime5 = 0x27D4EB2F165667C5ULL;
constexpr std::size_t kStripe = 32;

constexpr std::uint64_t RotateLeft(std::uint64_t value, int bits) {
    return (value << bits) | (value >> (64 - bits));
}

// Little-endian whatever the processor, so that a digest stored on disk means the same bytes.
std::uint64_t Read64(const std::uint8_t* bytes) {
    std::uint64_t value = 0;
    for (int i = 7; i >= 0; --i) {
        value = (value << 8) | bytes[i];
    }
    return value;
}

std::uint32_t Read32(const std::uint8_t* bytes) {
    return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
           static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

std::uint64_t Round(std::uint64_t accumulator, std::uint64_t lane) {
    accumulator += lane * kPrime2;
    return RotateLeft(accumulator, 31) * kPrime1;
}

std::uint64_t Merge(std::uint64_t hash, std::uint64_t accumulator) {
    hash ^= Round(0, accumulator);
    return hash * kPrime1 + kPrime4;
}

/// The digest fed in pieces: whole stripes go straight into the four lanes, so a file is read
/// through a buffer of any size without a copy of it.
class Digester {
public:
    explicit Digester(std::uint64_t seed = 0)
        : seed(seed), lanes{seed + kPrime1 + kPrime2, seed + kPrime2, seed, seed - kPrime1} {}

    void Add(const std::uint8_t* data, std::size_t length) {
        total += length;
        if (held > 0) {
            const std::size_t take = std::min(kStripe - held, length);
            std::memcpy(stripe.data() + held, data, take);
            held += take;
            data += take;
            length -= take;
            if (held < kStripe) {
                return;
            }
            Consume(stripe.data());
            held = 0;
        }
        for (; length >= kStripe; data += kStripe, length -= kStripe) {
            Consume(data);
        }
        std::memcpy(stripe.data(), data, length);
        held = length;
    }

    std::uint64_t Finish() const {
        std::uint64_t hash = 0;
        if (total >= kStripe) {
            hash = RotateLeft(lanes[0], 1) + RotateLeft(lanes[1], 7) + RotateLeft(lanes[2], 12) +
                   RotateLeft(lanes[3], 18);
            for (const std::uint64_t lane : lanes) {
                hash = Merge(hash, lane);
            }
        } else {
            hash = seed + kPrime5;
        }
        hash += total;
        const std::uint8_t* tail = stripe.data();
        std::size_t left = held;
        for (; left >= 8; tail += 8, left -= 8) {
            hash ^= Round(0, Read64(tail));
            hash = RotateLeft(hash, 27) * kPrime1 + kPrime4;
        }
        if (left >= 4) {
            hash ^= static_cast<std::uint64_t>(Read32(tail)) * kPrime1;
            hash = RotateLeft(hash, 23) * kPrime2 + kPrime3;
            tail += 4;
            left -= 4;
        }
        for (; left > 0; ++tail, --left) {
            hash ^= *tail * kPrime5;
            hash = RotateLeft(hash, 11) * kPrime1;
        }
        hash ^= hash >> 33;
        hash *= kPrime2;
        hash ^= hash >> 29;
        hash *= kPrime3;
        hash ^= hash >> 32;
        return hash;
    }

private:
    void Consume(const std::uint8_t* data) {
        for (std::size_t lane = 0; lane < lanes.size(); ++lane) {
            lanes[lane] = Round(lanes[lane], Read64(data + 8 * lane));
        }
    }

    std::uint64_t seed;
    std::array<std::uint64_t, 4> lanes;
    std::array<std::uint8_t, kStripe> stripe{};
    std::size_t held = 0;
    std::uint64_t total = 0;
};

struct FileCloser {
    int descriptor;
    ~FileCloser() { ::close(descriptor); }
};

}  // namespace

std::uint64_t DigestBytes(const void* data, std::size_t length, std::uint64_t seed) {
    Digester digester(seed);
    digester.Add(static_cast<const std::uint8_t*>(data), length);
    return digester.Finish();
}

std::optional<std::uint64_t> DigestFile(const QString& path) {
    const int descriptor = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) {
        return std::nullopt;
    }
    const FileCloser closer{descriptor};
    // Large enough that the system calls cost nothing beside the reading, small enough for any
    // thread's share of memory; one per thread, kept: a new one for every file would be zeroed
    // and faulted in page by page, which cost as much as the digest of a small picture.
    thread_local std::vector<std::uint8_t> buffer(std::size_t{1} << 20);
    Digester digester;
    for (;;) {
        const ssize_t got = ::read(descriptor, buffer.data(), buffer.size());
        if (got == 0) {
            return digester.Finish();
        }
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return std::nullopt;
        }
        digester.Add(buffer.data(), static_cast<std::size_t>(got));
    }
}

}  // namespace vistrel
