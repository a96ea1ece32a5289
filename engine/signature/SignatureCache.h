#pragma once

#include "SignatureBytes.h"

#include <QString>

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace vistrel {

/// Finalizes a prepared SQLite statement; for the cache's statements.
struct SqliteStatementFinalizer {
    void operator()(sqlite3_stmt* statement) const;
};

/// The signatures of picture files kept between runs, in one SQLite database per user, shared by
/// every Vistrel process of that user. An entry holds for the very same file content only: it is
/// found by device and inode (which a rename or a move within one file system keeps) and used
/// only while the file's size and modification time are those it was made from. Unreadable
/// pictures are kept too, as empty signatures. Any thread; the calls are serialised. Stored
/// entries are written by a thread of the cache's own, so that no caller waits for the disk.
class SignatureCache {
public:
    /// What identifies one content of one file.
    struct FileKey {
        std::uint64_t device = 0;
        std::uint64_t inode = 0;
        std::int64_t size = 0;
        std::int64_t modifiedNs = 0;  ///< modification time in nanoseconds since the epoch
        friend bool operator==(const FileKey&, const FileKey&) = default;
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

    /// Opens the database at `path`, making it and its folder when missing. A file that is not a
    /// sound database (garbage, cut short) is set aside under a new name beside it and a new one
    /// is made. When none can be opened (a folder that cannot be written, a full disk) the cache
    /// is closed: Find finds nothing, Store keeps nothing, and Problem says why.
    explicit SignatureCache(QString path);
    SignatureCache(const SignatureCache&) = delete;
    SignatureCache& operator=(const SignatureCache&) = delete;
    /// Writes what Store still holds.
    ~SignatureCache();

    bool IsOpen() const;
    QString Path() const { return path; }
    /// Why the cache is closed or stopped storing, for one warning; empty while all is well.
    QString Problem() const;

    /// The signature of `side` x `side` pixels kept for exactly this file content: an empty
    /// SignatureBytes for a picture that could not be read; nothing when there is no entry.
    std::optional<SignatureBytes> Find(const FileKey& key, int side);

    /// Keeps `signature` (empty: unreadable) for this file content, replacing the entry of the
    /// same file. Held in memory and written in one transaction with others, on the cache's
    /// own thread: every few hundred entries, on Flush and on destruction.
    void Store(const FileKey& key, const QString& path, int side, const SignatureBytes& signature);
    /// Writes what Store holds now, and waits until it is written.
    void Flush();
    /// Has what Store holds now written without waiting for it: for a thread that must not wait
    /// for the disk.
    void WriteSoon();

    Stats GetStats();
    /// Drops the entries whose file is gone or no longer has that content; the number dropped.
    std::int64_t Prune();
    /// Drops every entry.
    bool Clear();

    /// The version of what makes a signature (the decoders' scaling rules, the resampler). A
    /// database made under another version is emptied when opened.
    static constexpr int kAlgorithmVersion = 1;

private:
    struct Pending {
        FileKey key;
        QString path;
        int side;
        SignatureBytes signature;
    };
    struct DatabaseCloser {
        void operator()(sqlite3* handle) const;
    };
    using Database = std::unique_ptr<sqlite3, DatabaseCloser>;
    using Statement = std::unique_ptr<sqlite3_stmt, SqliteStatementFinalizer>;

    bool OpenDatabase();
    /// Opens the file once; false with `damaged` set when it is not a sound database.
    bool TryOpen(bool& damaged);
    /// Renames the damaged file (with its log) beside itself, unless another process already
    /// did and put a new one in its place.
    bool SetAside(const std::optional<FileKey>& before);
    void CloseDatabase();
    /// The writer thread: writes the entries Store holds, a batch at a time.
    void WriteEntries();
    /// Writes `batch` in one transaction on `writerDb`; the SQLite result.
    int WriteBatch(const std::vector<Pending>& batch);
    /// Records why the cache stops and closes it.
    void Fail(const QString& reason);
    /// The reason SQLite gives for the last failure on `connection` (`db` when null), as the
    /// system words it when it can.
    QString ErrorText(int code, sqlite3* connection = nullptr) const;

    const QString path;
    mutable std::mutex mutex;
    Database db;  // finds, the tables, stats, prune and clear: under `mutex`
    /// Find's query on `db`, prepared once: it runs once for every picture.
    Statement findStatement;
    /// A second connection, the writer thread's alone: a batch being written never holds up a
    /// Find on `db`, thanks to the write-ahead log.
    Database writerDb;
    /// The file `db` opened, to tell it from one another process put in its place.
    std::optional<FileKey> opened;
    QString problem;
    std::vector<Pending> pending;  // stored, not yet taken by the writer
    std::vector<Pending> writing;  // the batch the writer is writing, for Find meanwhile
    bool flushWanted = false;
    bool stopping = false;
    std::condition_variable writeWanted;  // for the writer: a full batch, a Flush, the end
    std::condition_variable written;      // for Flush: nothing pending or being written
    std::thread writer;
};

/// The cache every bulk making of signatures in this process uses; null (no cache) until a
/// program installs one. The window and vistrel-cli install theirs at start; tests do not.
std::shared_ptr<SignatureCache> InstalledSignatureCache();
void InstallSignatureCache(std::shared_ptr<SignatureCache> cache);

}  // namespace vistrel
