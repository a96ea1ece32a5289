#pragma once

#include "SignatureBytes.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <optional>

namespace vistrel {

/// The signatures of picture files kept between runs, in one SQLite database per user, shared by
/// every Vistrel process of that user. An entry holds for the very same file content only: it is
/// found by device and inode (which a rename or a move within one file system keeps), used only
/// while the file's size and modification time are those it was made from, and trusted at once
/// only while its change time (ctime, which no program can set back) is too; when only that
/// moved (a chmod, a rename, a new link, or a rewrite with its times put back) the file is read
/// and its digest must be the one stored. Unreadable pictures are kept too, as empty signatures.
/// Any thread; the calls are serialised. Stored entries are written by a thread of the cache's
/// own, so that no caller waits for the disk.
///
/// The cache uses only a folder and database of this user's own that no other user may write,
/// and changes no database but its own (marked by its application id).
class SignatureCache {
public:
    /// What identifies one content of one file, read by one stat.
    struct FileKey {
        std::uint64_t device = 0;
        std::uint64_t inode = 0;
        std::int64_t size = 0;
        std::int64_t modifiedNs = 0;  ///< modification time in nanoseconds since the epoch
        std::int64_t changedNs = 0;   ///< change time (ctime) in nanoseconds since the epoch
        /// The name the key was read under, where Find reads the content when only the change
        /// time moved; not part of the identity (empty: Find then trusts the change time alone).
        QString path;
        friend bool operator==(const FileKey& a, const FileKey& b) {
            return a.device == b.device && a.inode == b.inode && a.size == b.size &&
                   a.modifiedNs == b.modifiedNs && a.changedNs == b.changedNs;
        }
    };

    /// What `vistrel-cli cache --stats` reports.
    struct Stats {
        std::int64_t entries = 0;
        std::int64_t unreadable = 0;      ///< entries of pictures that could not be read
        std::int64_t bytesOnDisk = 0;     ///< the database with its write-ahead log
        std::int64_t oldestStoredNs = 0;  ///< when the oldest entry was stored; 0 when empty
    };

    /// The key of the file `path` now (stat, following links); nothing when it cannot be read.
    static std::optional<FileKey> KeyOf(const QString& path);

    /// `$XDG_CACHE_HOME/vistrel/signatures.sqlite`, `~/.cache/vistrel/signatures.sqlite` when
    /// XDG_CACHE_HOME is unset or not absolute.
    static QString DefaultPath();

    /// Opens the database at `path`, making it (0600) and its folder (0700) when missing. A file
    /// that is not a sound database (garbage, cut short) is set aside under a new name beside it
    /// and a new one is made. When none can be opened (a folder that cannot be written, a full
    /// disk) or the place is refused (IsRefused) the cache is closed: Find finds nothing, Store
    /// keeps nothing, and Problem says why.
    explicit SignatureCache(QString path);
    SignatureCache(const SignatureCache&) = delete;
    SignatureCache& operator=(const SignatureCache&) = delete;
    /// Writes what Store still holds.
    ~SignatureCache();

    bool IsOpen() const;
    /// True when the cache would not use its place: a folder or file of another user's, one
    /// other users may write, a link, or a database that is not this cache's. Nothing there was
    /// changed, and nothing there may be.
    bool IsRefused() const;
    QString Path() const;
    /// Why the cache is closed or stopped storing, for one warning; empty while all is well.
    QString Problem() const;

    /// The signature of `side` x `side` pixels kept for exactly this file content: an empty
    /// SignatureBytes for a picture that could not be read; nothing when there is no entry. Sound
    /// for the file as it is now: when only the change time differs from the entry's, the file
    /// at `key.path` is read and must have the stored digest (and the entry then takes the new
    /// change time). Any thread; reads the file without holding up the other calls.
    std::optional<SignatureBytes> Find(const FileKey& key, int side);

    /// Keeps `signature` (empty: unreadable) for this file content, replacing the entry of the
    /// same file. Reads the file at `path` for its digest on the caller's thread (just decoded,
    /// it is usually still in memory) and keeps nothing unless the file still has `key`. The
    /// entry is written in one transaction with others on the cache's own thread: every few
    /// hundred entries, on Flush and on destruction; not while the cache's disk has less free
    /// than `FreeSpaceFloor` (Problem then says so, once).
    void Store(const FileKey& key, const QString& path, int side, const SignatureBytes& signature);
    /// As Store, for a caller that has the file's bytes in memory: `digest` is DigestBytes of
    /// all of them, read while the file had `key` (the caller checks the key after reading), so
    /// the file is not read again here.
    void StoreDigested(const FileKey& key, const QString& path, int side,
                       const SignatureBytes& signature, std::uint64_t digest);
    /// Writes what Store holds now, and waits until it is written.
    void Flush();
    /// Has what Store holds now written without waiting for it: for a thread that must not wait
    /// for the disk.
    void WriteSoon();

    Stats GetStats();
    /// Drops the entries whose file is gone or no longer has that content (by the rules of Find:
    /// a file whose change time moved is read); the number dropped.
    std::int64_t Prune();
    /// Drops every entry and gives the space back; false when it could not (a full disk).
    bool Clear();

    /// The version of what makes a signature (the decoders' scaling rules and orientation, the
    /// resampler): 2 turns pictures as their EXIF orientation asks. A database made under another
    /// version is emptied when opened.
    static constexpr int kAlgorithmVersion = 2;
    /// The version of the tables: 2 added the change time and the digest. A database of another
    /// version is emptied when opened.
    static constexpr int kSchemaVersion = 2;
    /// SQLite's application id of the cache's databases ("VsSc"): a database without it is
    /// never changed, unless it is empty or this cache's own from before the id was set.
    static constexpr std::int32_t kApplicationId = 0x56735363;

private:
    struct Impl;  // the databases, the writer thread and what waits for it
    std::unique_ptr<Impl> impl;
};

}  // namespace vistrel
