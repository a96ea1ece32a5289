#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>
#include <optional>

namespace vistrel {

/// A 64-bit digest of `length` bytes (the XXH64 algorithm, with `seed`): fast enough to read a
/// whole picture file at disk speed, for telling whether its bytes changed. Not for security:
/// anyone can make two contents with one digest. Any thread.
std::uint64_t DigestBytes(const void* data, std::size_t length, std::uint64_t seed = 0);

/// The digest of every byte of the file at `path` (links followed); nothing when it cannot be
/// read to its end. Any thread; reads the file once.
std::optional<std::uint64_t> DigestFile(const QString& path);

}  // namespace vistrel
