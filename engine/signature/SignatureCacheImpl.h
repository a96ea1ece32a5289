#pragma once

// The inside of the signature cache: its databases, its writer thread and the SQLite helpers
// its files share; for them alone.

#include "SignatureCache.h"

#include <sqlite3.h>

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace vistrel {

/// Finalizes a prepared SQLite statement; for the cache's statements.
struct SqliteStatementFinalizer {
    void operator()(sqlite3_stmt* statement) const;
};

namespace cache_sql {

// Entries written in one transaction: few enough to keep a transaction short for the other
// processes, many enough that a folder of small pictures does not wait on commits.
inline constexpr std::size_t kFlushEvery = 256;
// Another process may hold the write lock while it commits a batch or clears the cache.
inline constexpr int kBusyMilliseconds = 5000;
// The log is cut back to this after each checkpoint, so that a burst of writes while other
// processes read does not keep its size on the disk.
inline constexpr const char* kLogLimit = "PRAGMA journal_size_limit=4194304";
// Links are never followed: the database must be the file at the cache's own path.
inline constexpr int kOpenFlags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOFOLLOW;

using Statement = std::unique_ptr<sqlite3_stmt, SqliteStatementFinalizer>;

inline Statement Prepare(sqlite3* db, const char* sql, int& code) {
    sqlite3_stmt* statement = nullptr;
    code = sqlite3_prepare_v2(db, sql, -1, &statement, nullptr);
    return Statement(statement);
}

inline int Execute(sqlite3* db, const char* sql) {
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
}

inline bool IsDamage(int code) {
    const int primary = code & 0xff;
    return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
}

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
    void Store(const FileKey& key, const QString& path, int side, const SignatureBytes& signature);
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
    /// An entry Find found, before the change time or the digest said it holds.
    struct Found {
        SignatureBytes signature;
        std::int64_t changedNs;
        std::uint64_t digest;
    };
    struct DatabaseCloser {
        void operator()(sqlite3* handle) const;
    };
    using Database = std::unique_ptr<sqlite3, DatabaseCloser>;
    using Statement = std::unique_ptr<sqlite3_stmt, SqliteStatementFinalizer>;

    bool OpenDatabase();
    /// Opens the file once; false with `damaged` set when it is not a sound database.
    bool TryOpen(bool& damaged);
    /// Within one transaction, makes sure the open database is this cache's (giving an empty
    /// one the application id); false with `refused` set when it is another program's.
    int ClaimDatabase(bool& refused);
    /// Makes the tables, emptying them under another version.
    int PrepareTables();
    /// The entry for `key` that Store holds or the database has, under `mutex`.
    std::optional<Found> Lookup(const FileKey& key, int side);
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
    /// Records why the cache does not use its place, and closes it.
    void Refuse(const QString& reason);
    /// Whether the disk can take `batch` and leave its floor free; when not, stops storing with
    /// one Problem. Writer thread, `mutex` held.
    bool RoomFor(const std::vector<Pending>& batch);
    /// The reason SQLite gives for the last failure on `connection` (`db` when null), as the
    /// system words it when it can.
    QString ErrorText(int code, sqlite3* connection = nullptr) const;

    const QString path;
    /// `path` with the links of its folders resolved, to open: SQLite's "no links" refuses a
    /// link anywhere in a path, and the folder may well be one (~/.cache on another disk).
    QString resolvedPath;
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
