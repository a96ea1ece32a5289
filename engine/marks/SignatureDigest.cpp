#include "SignatureDigest.h"

#include "signature/SignatureBytes.h"

#include <QCryptographicHash>

#include <algorithm>

namespace vistrel {

SignatureDigest SignatureDigest::Of(const SignatureBytes& signature) {
    if (signature.empty()) {
        return {};
    }
    return OfBytes(signature.data(), signature.size());
}

SignatureDigest SignatureDigest::OfBytes(const void* data, std::size_t size) {
    // BLAKE2s makes a 128-bit digest of its own (not a cut-down longer one) at about the speed
    // of MD5, without MD5's known collisions: a run makes one only for the pictures of the pairs
    // it finds, so the digest's cost never shows, and a crafted picture cannot share a marked
    // picture's digest.
    const QByteArray hash = QCryptographicHash::hash(
        QByteArrayView(static_cast<const char*>(data), static_cast<qsizetype>(size)),
        QCryptographicHash::Blake2s_128);
    SignatureDigest digest;
    std::copy_n(reinterpret_cast<const std::uint8_t*>(hash.constData()), kSize,
                digest.bytes.begin());
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
