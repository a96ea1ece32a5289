#pragma once

#include <QByteArray>

#include <array>
#include <compare>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace vistrel {

class SignatureBytes;

/// A 16-byte digest of a picture's signature bytes (XXH3, 128 bits): what
/// a mark of a pair as not similar keys on, so that the mark follows the picture's content
/// through renames, moves and copies and lapses once the picture changes. The marks database
/// keeps these bytes: the algorithm never changes. Not cryptographic (a picture could be made to
/// share another's digest on purpose); 128 bits make a chance match between two signatures
/// unthinkable. Any thread.
struct SignatureDigest {
    static constexpr std::size_t kSize = 16;
    std::array<std::uint8_t, kSize> bytes{};

    /// The digest of `signature`'s bytes; all zero for an empty signature (an unreadable
    /// picture, which is never in a pair).
    static SignatureDigest Of(const SignatureBytes& signature);
    /// The digest of `size` bytes at `data`.
    static SignatureDigest OfBytes(const void* data, std::size_t size);
    /// The digest held by `stored` (as ToBytes makes it); nothing unless it has kSize bytes.
    static std::optional<SignatureDigest> FromBytes(const QByteArray& stored);
    QByteArray ToBytes() const;
    /// Lowercase hexadecimal, 32 characters: for messages and `vistrel-cli marks --list`.
    QByteArray ToHex() const;

    friend auto operator<=>(const SignatureDigest&, const SignatureDigest&) = default;
};

/// Two digests in a set order (the smaller first), so that a pair is the same pair in either
/// order.
struct DigestPair {
    SignatureDigest first;
    SignatureDigest second;

    /// The pair of `a` and `b`, in either order.
    static DigestPair Of(const SignatureDigest& a, const SignatureDigest& b) {
        return a <= b ? DigestPair{a, b} : DigestPair{b, a};
    }
    friend auto operator<=>(const DigestPair&, const DigestPair&) = default;
};

}  // namespace vistrel
