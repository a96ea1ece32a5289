#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

namespace vistrel {

/// The checks and housekeeping of the signature cache's folder and files: whose they are, the
/// free space left on their disk, and removing them. Any thread.

/// Makes `folder` and any missing folder above it, each open to its owner only (0700). Empty
/// when it is there; otherwise why not, as the system words it.
QString MakePrivateFolder(const QString& folder);

/// Why the cache may not trust the folder `folder` (followed when it is a link) or the file
/// `file` (never followed): it belongs to another user, other users may write it, or the file
/// is a link or not a regular file. Empty when it is trustworthy, or (a file) missing.
QString FolderDistrust(const QString& folder);
QString FileDistrust(const QString& file);

/// The free space the cache always leaves on its disk: 5 % of the volume, but never more than
/// 1 GiB, so that a large disk is not held back by a gigabytes-wide margin and a small one is
/// not filled to the last block. Bytes.
std::uint64_t FreeSpaceFloor(std::uint64_t volumeBytes);
/// Whether writing `bytes` more onto a volume of `volumeBytes` with `freeBytes` free (for this
/// user) leaves at least the floor free.
bool LeavesFreeSpace(std::uint64_t freeBytes, std::uint64_t volumeBytes, std::uint64_t bytes);

/// The free space (for this user) and size of the volume holding `folder`, in bytes.
struct VolumeSpace {
    std::uint64_t freeBytes = 0;
    std::uint64_t volumeBytes = 0;
    bool readOnly = false;
};
std::optional<VolumeSpace> SpaceOf(const QString& folder);

/// The cache's files beside its database `database`: the database itself, SQLite's log and
/// shared memory, and the damaged databases set aside; only those that exist.
QStringList CacheFiles(const QString& database);
/// The bytes the disk holds for `files` (their allocated blocks).
std::int64_t DiskBytesOf(const QStringList& files);
/// Whether a connection of another process has the database open: SQLite (unix) holds a shared
/// lock on byte 128 of the shared-memory file for as long as a connection is open.
bool DatabaseInUse(const QString& database);
/// Removes the cache's files (the log first, so that it can never be applied to a later
/// database); with `database` false only the damaged ones set aside. Links are removed, never
/// what they point to. Empty when all went; otherwise why not.
QString RemoveCacheFiles(const QString& database, bool withDatabase);

}  // namespace vistrel
