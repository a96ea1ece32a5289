#pragma once

// An SQLite database of this user's own, opened with the checks the signature cache and the
// marks of pairs share: a private folder, files no other user owns or may write and no links,
// a database made 0600, and a damaged file set aside under a new name and begun again.

#include <QString>
#include <QStringList>

#include <sqlite3.h>

#include <functional>
#include <memory>

namespace vistrel {

/// Finalizes a prepared SQLite statement.
struct SqliteStatementFinalizer {
    void operator()(sqlite3_stmt* statement) const;
};
/// Closes an SQLite connection (the last one checkpoints the log into the database).
struct SqliteCloser {
    void operator()(sqlite3* handle) const;
};

namespace sql {

using Statement = std::unique_ptr<sqlite3_stmt, SqliteStatementFinalizer>;
using Database = std::unique_ptr<sqlite3, SqliteCloser>;

// Another process may hold the write lock while it commits a batch or clears a database.
inline constexpr int kBusyMilliseconds = 5000;
// Links are never followed: the database must be the file at its own path.
inline constexpr int kOpenFlags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOFOLLOW;

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

/// The reason SQLite gives for `code` on `handle` (may be null), as the system words it when
/// it can (a full disk rather than "disk I/O error").
QString ErrorText(int code, sqlite3* handle);

}  // namespace sql

/// What OpenPrivateDatabase came to.
struct PrivateDatabase {
    sql::Database db;  ///< null when none could be used
    /// The path with the links of its folders resolved (SQLite's "no links" refuses a link
    /// anywhere in a path, and the folder may well be one).
    QString resolvedPath;
    QString reason;        ///< why `db` is null, as the system or SQLite words it
    bool refused = false;  ///< the place is not used: another user's, writable by others, a link
    QStringList setAside;  ///< where damaged databases found were set aside
};

/// Opens (making it, 0600, and its folder, 0700, when missing) the database at `path`, with the
/// busy timeout set. `prepare` runs on each connection opened: it claims the database, sets its
/// log mode and makes its tables, and returns an SQLite result, setting `foreign` when the
/// database is another program's, which is then refused for `foreignReason`. A
/// file that is not a sound database is set aside beside it (unless another process did first)
/// and a new one made. Any thread; blocking.
PrivateDatabase OpenPrivateDatabase(const QString& path,
                                    const std::function<int(sqlite3* db, bool& foreign)>& prepare,
                                    const QString& foreignReason);

}  // namespace vistrel
