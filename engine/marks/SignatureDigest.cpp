#include "SignatureDigest.h"

#include "signature/SignatureBytes.h"

#include <xxhash.h>

#include <algorithm>

namespace vistrel {

SignatureDigest SignatureDigest::Of(const SignatureBytes& signature) {
    if (signature.empty()) {
        return {};
    }
    return OfBytes(signature.data(), signature.size());
}

SignatureDigest SignatureDigest::OfBytes(const void* data, std::size_t size) {
    // XXH3's 128 bits: no two signatures of a user's pictures share them by chance, and they are
    // made at memory speed (about 2 us a signature, in one pass): a run digests every picture of
    // the pairs it finds while it collects them, on the thread that records the links, and must
    // take no longer for it. Fixed for good, since the marks keep the digests they make.
    const XXH128_hash_t hash = XXH3_128bits(data, size);
    SignatureDigest digest;
    const std::uint64_t halves[] = {hash.high64, hash.low64};
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
