#pragma once

// The inside of the signature cache: its databases, its writer thread and the SQLite helpers
// its files share; for them alone.

#include "PrivateDatabase.h"
#include "SignatureCache.h"

#include <sqlite3.h>

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace vistrel {

namespace cache_sql {

using sql::Execute;
using sql::IsDamage;
using sql::kBusyMilliseconds;
using sql::kOpenFlags;
using sql::Prepare;
using sql::Statement;

// Entries written in one transaction: few enough to keep a transaction short for the other
// processes, many enough that a folder of small pictures does not wait on commits.
inline constexpr std::size_t kFlushEvery = 256;
// Finds made in one read transaction: each transaction costs the locks of the log and a look at
// the file, and a million finds in a row need not pay them a million times; few enough that the
// transaction ends soon after another process wrote (what it wrote is found from then on), and
// that another process's checkpoints can soon move the log past it.
inline constexpr int kFindsPerRead = 1024;
// Entries a prune reads, looks at and changes at a time: its memory stays small at any size of
// the cache, and its write transactions short for the other processes.
inline constexpr int kPruneRows = 4096;
// The log is cut back to this after each checkpoint, so that a burst of writes while other
// processes read does not keep its size on the disk.
inline constexpr const char* kLogLimit = "PRAGMA journal_size_limit=4194304";

// SQLite's integers are signed; device and inode numbers and digests keep their bits either way.
inline sqlite3_int64 AsStored(std::uint64_t value) {
    return static_cast<sqlite3_int64>(value);
}

}  // namespace cache_sql

/// See SignatureCache: what it does is done here, behind its header.
struct SignatureCache::Impl {
    explicit Impl(QString path);
    ~Impl();

    bool IsOpen() const;
    bool IsRefused() const;
    QString Problem() const;
    std::optional<SignatureBytes> Find(const FileKey& key, int side);
    /// `digest`: of the file's bytes, made by the caller (see SignatureCache::StoreDigested);
    /// nothing: read here.
    void Store(const FileKey& key, const QString& path, int side, const SignatureBytes& signature,
               std::optional<std::uint64_t> digest);
    void Flush();
    void WriteSoon();
    Stats GetStats();
    std::int64_t Prune();
    bool Clear();

    struct Pending {
        FileKey key;
        QString path;
        int side;
        SignatureBytes signature;
        std::uint64_t digest;
    };
    /// An entry Find found, before the change time or the digest said it holds: a signature
    /// Store still holds, or the bytes read from the database (made into a signature, with its
    /// sketch, outside the lock).
    struct Found {
        SignatureBytes signature;
        std::vector<std::uint8_t> stored;
        std::int64_t changedNs;
        std::uint64_t digest;
    };
    /// One entry as a prune read it, and what the file it was made from says of it now.
    struct Checked {
        enum class Verdict { Holds, Moved, Gone };
        sqlite3_int64 rowid = 0;
        FileKey key;
        std::uint64_t digest = 0;
        Verdict verdict = Verdict::Holds;
        std::int64_t changedNowNs = 0;  ///< Moved: the change time the entry takes
    };
    using Database = sql::Database;
    using Statement = sql::Statement;

    bool OpenDatabase();
    /// Within one transaction, makes sure the database open on `handle` is this cache's (giving
    /// an empty one the application id); false with `refused` set when it is another program's.
    int ClaimDatabase(sqlite3* handle, bool& refused);
    /// Makes the tables on `handle`, emptying them under another version.
    int PrepareTables(sqlite3* handle);
    /// The entry for `key` that Store holds or the database has, under `mutex`.
    std::optional<Found> Lookup(const FileKey& key, int side);
    void CloseDatabase();
    /// Prune's steps: up to kPruneRows entries after rowid `after`, read under `mutex`; the
    /// verdict of one entry from its file, without the lock; and the entries gone dropped and the
    /// moved ones given their change time in one transaction, under `mutex` (the number dropped;
    /// nothing when the cache closed or the transaction failed).
    std::vector<Checked> ReadRows(sqlite3_int64 after);
    static void Check(Checked& row);
    std::optional<std::int64_t> ApplyChecks(const std::vector<Checked>& rows);
    /// Ends the read transaction the finds share, if one is open, so that `db` sees what was
    /// written since and the log's checkpoints can pass it. Under `mutex`.
    void EndRead();
    /// The writer thread: writes the entries Store holds, a batch at a time.
    void WriteEntries();
    /// Writes `batch` in one transaction on `writerDb`; the SQLite result.
    int WriteBatch(const std::vector<Pending>& batch);
    /// Records why the cache stops and closes it.
    void Fail(const QString& reason);
    /// Records why the cache does not use its place, and closes it.
    void Refuse(const QString& reason);
    /// Whether the disk can take `batch` and leave its floor free; when not, stops storing with
    /// one Problem. Writer thread, `mutex` held.
    bool RoomFor(const std::vector<Pending>& batch);
    /// The reason SQLite gives for the last failure on `connection` (`db` when null).
    QString ErrorText(int code, sqlite3* connection = nullptr) const;

    const QString path;
    /// `path` with the links of its folders resolved, to open: SQLite's "no links" refuses a
    /// link anywhere in a path, and the folder may well be one (~/.cache on another disk).
    QString resolvedPath;
    mutable std::mutex mutex;
    Database db;  // finds, the tables, stats, prune and clear: under `mutex`
    /// Find's query on `db`, prepared once: it runs once for every picture.
    Statement findStatement;
    /// Whether the finds' read transaction is open on `db`, and how many finds it has left.
    bool reading = false;
    int findsLeft = 0;
    /// While the writer writes a batch, each find is a read of its own (see WriteEntries).
    bool committing = false;
    /// A second connection, the writer thread's alone: a batch being written never holds up a
    /// Find on `db`, thanks to the write-ahead log.
    Database writerDb;
    /// The file `db` opened, to tell it from one another process put in its place.
    std::optional<FileKey> opened;
    QString problem;
    bool refused = false;
    bool storing = true;           // false once the disk ran low: finds go on, stores are dropped
    std::vector<Pending> pending;  // stored, not yet taken by the writer
    std::vector<Pending> writing;  // the batch the writer is writing, for Find meanwhile
    bool flushWanted = false;
    bool stopping = false;
    std::condition_variable writeWanted;  // for the writer: a full batch, a Flush, the end
    std::condition_variable written;      // for Flush: nothing pending or being written
    std::thread writer;
};

}  // namespace vistrel
