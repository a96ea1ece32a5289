#include "SignatureDigest.h"

#include "signature/FileDigest.h"
#include "signature/SignatureBytes.h"

#include <algorithm>

namespace vistrel {

namespace {

// Any two different seeds make two digests as unlike as two algorithms; these are fixed for
// good, since the marks keep the digests they make.
constexpr std::uint64_t kFirstSeed = 0;
constexpr std::uint64_t kSecondSeed = 0x9E3779B97F4A7C15ULL;

}  // namespace

SignatureDigest SignatureDigest::Of(const SignatureBytes& signature) {
    if (signature.empty()) {
        return {};
    }
    return OfBytes(signature.data(), signature.size());
}

SignatureDigest SignatureDigest::OfBytes(const void* data, std::size_t size) {
    // Two XXH64 digests of different seeds: 128 bits, so that no two signatures of a user's
    // pictures share one by chance, at memory speed (some 3 us a signature, twenty times less
    // than MD5 or BLAKE2s here): a run digests every picture of the pairs it finds while it
    // collects them, and must take no longer for it.
    SignatureDigest digest;
    const std::uint64_t halves[] = {DigestBytes(data, size, kFirstSeed),
                                    DigestBytes(data, size, kSecondSeed)};
    for (std::size_t half = 0; half < 2; ++half) {
        // Big-endian, so that the bytes sort as the numbers do and mean the same on any machine.
        for (std::size_t i = 0; i < 8; ++i) {
            digest.bytes[8 * half + i] = static_cast<std::uint8_t>(halves[half] >> (56 - 8 * i));
        }
    }
    return digest;
}

std::optional<SignatureDigest> SignatureDigest::FromBytes(const QByteArray& stored) {
    if (stored.size() != static_cast<qsizetype>(kSize)) {
        return std::nullopt;
    }
    SignatureDigest digest;
    std::copy_n(reinterpret_cast<const std::uint8_t*>(stored.constData()), kSize,
                digest.bytes.begin());
    return digest;
}

QByteArray SignatureDigest::ToBytes() const {
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), kSize);
}

QByteArray SignatureDigest::ToHex() const {
    return ToBytes().toHex();
}

}  // namespace vistrel
