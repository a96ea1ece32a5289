#pragma once

// The few SQLite helpers the signature cache's files share; for them alone.

#include "SignatureCache.h"

#include <sqlite3.h>

#include <cstdint>
#include <memory>

namespace vistrel::cache_sql {

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

}  // namespace vistrel::cache_sql
