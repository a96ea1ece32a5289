#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>

namespace vistrel {

/// What the file system says a file is, read by one stat of its path (links followed). Two
/// paths name the same file when their device and inode match, whatever the paths look like
/// (a link to the file or to a folder above it, a hard link, "..", a bind mount of one file
/// system shows the same device).
struct FileIdentity {
    std::uint64_t device = 0;  ///< st_dev: the file system the file lives on
    std::uint64_t inode = 0;   ///< st_ino: the file's number on that file system
    std::int64_t size = 0;     ///< st_size in bytes
    std::int64_t mtimeNs = 0;  ///< last change of the contents, ns since the epoch
    std::int64_t ctimeNs = 0;  ///< last change of the contents or the inode, ns since the epoch

    /// True when both name the same file (device and inode), not when the contents are equal.
    bool SameFile(const FileIdentity& other) const {
        return device == other.device && inode == other.inode;
    }
};

/// Reads the identity of the file at path (stat, following links); nothing when the path cannot
/// be stat'ed (missing, no permission, I/O error). Any thread; one system call.
std::optional<FileIdentity> ReadFileIdentity(const QString& path);

/// The key of a file by device and inode, for hash maps of "which files do we know".
struct FileKey {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;

    friend bool operator==(const FileKey&, const FileKey&) = default;
};

/// The key of an identity.
inline FileKey KeyOf(const FileIdentity& identity) {
    return FileKey{identity.device, identity.inode};
}

/// Hash of a FileKey, for std::unordered_map / std::unordered_set.
struct FileKeyHash {
    std::size_t operator()(const FileKey& key) const {
        // The inode carries nearly all the entropy; the device is mixed in for the rare case of
        // several file systems in one repository.
        return std::hash<std::uint64_t>{}(key.inode ^ (key.device * 0x9E3779B97F4A7C15ULL));
    }
};

}  // namespace vistrel
