#include "NotSimilarMarks.h"

#include "signature/PrivateDatabase.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <mutex>
#include <string>

namespace vistrel {

namespace {

using sql::Execute;
using sql::Prepare;
using sql::Statement;

// Marks are the user's own work, not a cache that can be made again: each change waits for
// the disk, so that a crash or a power cut never loses one that was reported as kept.
constexpr const char* kLogMode = "PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL";

// An empty database is given the id; one with it and tables of the version known is ours.
// Anything else is another program's, or a later Vistrel's that this one must not change.
int ClaimAndPrepare(sqlite3* db, bool& foreign) {
    foreign = false;
    // Already ours and current, as nearly always: no write lock, so that a run that only reads
    // the marks never waits for, nor holds up, a process that changes them.
    bool current = false;
    int code = SQLITE_OK;
    {
        const Statement read = Prepare(db,
                                       "SELECT (SELECT application_id FROM pragma_application_id), "
                                       "(SELECT value FROM meta WHERE name = 'schema_version'), "
                                       "(SELECT count(*) FROM sqlite_master WHERE name = 'marks')",
                                       code);
        current = code == SQLITE_OK && sqlite3_step(read.get()) == SQLITE_ROW &&
                  sqlite3_column_int(read.get(), 0) == NotSimilarMarks::kApplicationId &&
                  sqlite3_column_int(read.get(), 1) == NotSimilarMarks::kSchemaVersion &&
                  sqlite3_column_int(read.get(), 2) == 1;
    }
    if (current) {
        return Execute(db, kLogMode);
    }
    if (sql::IsDamage(code)) {
        return code;
    }
    code = Execute(db, "BEGIN IMMEDIATE");
    int id = 0;
    std::int64_t objects = 0;
    if (code == SQLITE_OK) {
        const Statement read =
            Prepare(db,
                    "SELECT (SELECT application_id FROM pragma_application_id), count(*) FROM "
                    "sqlite_master",
                    code);
        if (code == SQLITE_OK && (code = sqlite3_step(read.get())) == SQLITE_ROW) {
            id = sqlite3_column_int(read.get(), 0);
            objects = sqlite3_column_int64(read.get(), 1);
            code = SQLITE_OK;
        }
    }
    if (code == SQLITE_OK && id != NotSimilarMarks::kApplicationId) {
        if (objects != 0) {
            foreign = true;
            Execute(db, "ROLLBACK");
            return SQLITE_OK;
        }
        const std::string mark =
            "PRAGMA application_id=" + std::to_string(NotSimilarMarks::kApplicationId);
        code = Execute(db, mark.c_str());
    }
    if (code == SQLITE_OK) {
        // The digests in their set order (the smaller first), so that a pair has one row; the
        // paths as the file system spells them.
        const std::string tables =
            "CREATE TABLE IF NOT EXISTS meta(name TEXT PRIMARY KEY, value INTEGER);"
            "INSERT OR IGNORE INTO meta(name, value) VALUES('schema_version', " +
            std::to_string(NotSimilarMarks::kSchemaVersion) +
            ");"
            "CREATE TABLE IF NOT EXISTS marks(first BLOB NOT NULL, second BLOB NOT NULL, "
            "first_path BLOB NOT NULL, second_path BLOB NOT NULL, marked_ns INTEGER NOT NULL, "
            "PRIMARY KEY(first, second)) WITHOUT ROWID";
        code = Execute(db, tables.c_str());
    }
    if (code == SQLITE_OK) {
        const Statement version =
            Prepare(db, "SELECT value FROM meta WHERE name = 'schema_version'", code);
        if (code == SQLITE_OK && (code = sqlite3_step(version.get())) == SQLITE_ROW) {
            foreign = sqlite3_column_int(version.get(), 0) != NotSimilarMarks::kSchemaVersion;
            code = SQLITE_OK;
        }
    }
    if (code == SQLITE_OK && !foreign) {
        code = Execute(db, "COMMIT");
    }
    if (code != SQLITE_OK || foreign) {
        Execute(db, "ROLLBACK");
        return code;
    }
    // Outside the transaction: SQLite changes the log mode only there.
    return Execute(db, kLogMode);
}

void BindDigest(sqlite3_stmt* statement, int column, const SignatureDigest& digest) {
    sqlite3_bind_blob(statement, column, digest.bytes.data(), SignatureDigest::kSize,
                      SQLITE_TRANSIENT);
}

SignatureDigest ColumnDigest(sqlite3_stmt* statement, int column) {
    const QByteArray stored(static_cast<const char*>(sqlite3_column_blob(statement, column)),
                            sqlite3_column_bytes(statement, column));
    return SignatureDigest::FromBytes(stored).value_or(SignatureDigest{});
}

QString ColumnPath(sqlite3_stmt* statement, int column) {
    return QFile::decodeName(
        QByteArray(static_cast<const char*>(sqlite3_column_blob(statement, column)),
                   sqlite3_column_bytes(statement, column)));
}

}  // namespace

struct NotSimilarMarks::Impl {
    explicit Impl(QString path) : path(std::move(path)) {}

    /// Runs `change` on the database in one write transaction; false (with `problem` set) when
    /// it could not. `mutex` held.
    template <typename Change>
    bool Write(Change change);
    /// Records why the store stopped, and closes it.
    void Fail(const QString& reason);
    /// Notes a read that ended with `code` before its last row (busy past the timeout, damage):
    /// what it gave is not all the marks. `mutex` held.
    void ReadEnded(int code);

    const QString path;
    mutable std::mutex mutex;
    sql::Database db;
    QString problem;
    QString setAside;
    bool refused = false;
};

template <typename Change>
bool NotSimilarMarks::Impl::Write(Change change) {
    if (db == nullptr) {
        return false;
    }
    int code = Execute(db.get(), "BEGIN IMMEDIATE");
    if (code == SQLITE_OK) {
        code = change(db.get());
    }
    if (code == SQLITE_OK) {
        code = Execute(db.get(), "COMMIT");
    }
    if (code == SQLITE_OK) {
        return true;
    }
    const QString reason = sql::ErrorText(code, db.get());
    Execute(db.get(), "ROLLBACK");
    if (sql::IsDamage(code)) {
        // Damaged while open: the next start sets it aside.
        Fail(reason);
    } else {
        problem = QStringLiteral("the marks of pairs %1 could not be changed: %2")
                      .arg(QDir::toNativeSeparators(path), reason);
    }
    return false;
}

void NotSimilarMarks::Impl::Fail(const QString& reason) {
    problem = QStringLiteral("the marks of pairs %1 cannot be used: %2; working without them")
                  .arg(QDir::toNativeSeparators(path), reason);
    db.reset();
}

void NotSimilarMarks::Impl::ReadEnded(int code) {
    if (code == SQLITE_DONE || db == nullptr) {
        return;
    }
    const QString reason = sql::ErrorText(code, db.get());
    if (sql::IsDamage(code)) {
        Fail(reason);
    } else {
        problem = QStringLiteral("the marks of pairs %1 could not be read: %2")
                      .arg(QDir::toNativeSeparators(path), reason);
    }
}

QString NotSimilarMarks::DefaultPath() {
    QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (base.isEmpty()) {
        base = QDir::homePath() + QStringLiteral("/.local/share");
    }
    return base + QStringLiteral("/vistrel/marks.sqlite");
}

NotSimilarMarks::NotSimilarMarks(QString path) : impl(std::make_unique<Impl>(std::move(path))) {
    const std::lock_guard lock(impl->mutex);
    PrivateDatabase opened = OpenPrivateDatabase(
        impl->path, ClaimAndPrepare,
        QStringLiteral("it holds a database that is not Vistrel's marks, or a later version"));
    if (!opened.setAside.isEmpty()) {
        impl->setAside = opened.setAside.constLast();
    }
    if (opened.db == nullptr) {
        impl->refused = opened.refused;
        impl->Fail(opened.reason);
        if (opened.refused) {
            impl->problem =
                QStringLiteral("the marks of pairs %1 are not used: %2; working without them")
                    .arg(QDir::toNativeSeparators(impl->path), opened.reason);
        }
        return;
    }
    impl->db = std::move(opened.db);
}

NotSimilarMarks::~NotSimilarMarks() = default;

bool NotSimilarMarks::IsOpen() const {
    const std::lock_guard lock(impl->mutex);
    return impl->db != nullptr;
}

bool NotSimilarMarks::IsRefused() const {
    const std::lock_guard lock(impl->mutex);
    return impl->refused;
}

QString NotSimilarMarks::Path() const {
    return impl->path;
}

QString NotSimilarMarks::Problem() const {
    const std::lock_guard lock(impl->mutex);
    return impl->problem;
}

QString NotSimilarMarks::SetAside() const {
    const std::lock_guard lock(impl->mutex);
    return impl->setAside;
}

bool NotSimilarMarks::Add(const SignatureDigest& a, const QString& pathA, const SignatureDigest& b,
                          const QString& pathB) {
    const bool inOrder = a <= b;
    const QByteArray first = QFile::encodeName(inOrder ? pathA : pathB);
    const QByteArray second = QFile::encodeName(inOrder ? pathB : pathA);
    const DigestPair pair = DigestPair::Of(a, b);
    const std::lock_guard lock(impl->mutex);
    return impl->Write([&](sqlite3* db) {
        int code = SQLITE_OK;
        const Statement insert =
            Prepare(db,
                    "INSERT OR REPLACE INTO marks(first, second, first_path, second_path, "
                    "marked_ns) VALUES(?, ?, ?, ?, ?)",
                    code);
        if (code != SQLITE_OK) {
            return code;
        }
        BindDigest(insert.get(), 1, pair.first);
        BindDigest(insert.get(), 2, pair.second);
        sqlite3_bind_blob(insert.get(), 3, first.constData(), static_cast<int>(first.size()),
                          SQLITE_TRANSIENT);
        sqlite3_bind_blob(insert.get(), 4, second.constData(), static_cast<int>(second.size()),
                          SQLITE_TRANSIENT);
        sqlite3_bind_int64(insert.get(), 5, QDateTime::currentMSecsSinceEpoch() * 1'000'000);
        code = sqlite3_step(insert.get());
        return code == SQLITE_DONE ? SQLITE_OK : code;
    });
}

bool NotSimilarMarks::Remove(const SignatureDigest& a, const SignatureDigest& b) {
    const DigestPair pair = DigestPair::Of(a, b);
    const std::lock_guard lock(impl->mutex);
    return impl->Write([&](sqlite3* db) {
        int code = SQLITE_OK;
        const Statement remove =
            Prepare(db, "DELETE FROM marks WHERE first = ? AND second = ?", code);
        if (code != SQLITE_OK) {
            return code;
        }
        BindDigest(remove.get(), 1, pair.first);
        BindDigest(remove.get(), 2, pair.second);
        code = sqlite3_step(remove.get());
        return code == SQLITE_DONE ? SQLITE_OK : code;
    });
}

bool NotSimilarMarks::Contains(const SignatureDigest& a, const SignatureDigest& b) {
    const DigestPair pair = DigestPair::Of(a, b);
    const std::lock_guard lock(impl->mutex);
    if (impl->db == nullptr) {
        return false;
    }
    int code = SQLITE_OK;
    const Statement find =
        Prepare(impl->db.get(), "SELECT 1 FROM marks WHERE first = ? AND second = ?", code);
    if (code != SQLITE_OK) {
        return false;
    }
    BindDigest(find.get(), 1, pair.first);
    BindDigest(find.get(), 2, pair.second);
    return sqlite3_step(find.get()) == SQLITE_ROW;
}

std::vector<NotSimilarMarks::Mark> NotSimilarMarks::List() {
    std::vector<Mark> marks;
    const std::lock_guard lock(impl->mutex);
    if (impl->db == nullptr) {
        return marks;
    }
    int code = SQLITE_OK;
    const Statement all = Prepare(impl->db.get(),
                                  "SELECT first, second, first_path, second_path, marked_ns "
                                  "FROM marks ORDER BY marked_ns DESC, first, second",
                                  code);
    while (code == SQLITE_OK && (code = sqlite3_step(all.get())) == SQLITE_ROW) {
        code = SQLITE_OK;
        Mark mark;
        mark.pair = {ColumnDigest(all.get(), 0), ColumnDigest(all.get(), 1)};
        mark.firstPath = ColumnPath(all.get(), 2);
        mark.secondPath = ColumnPath(all.get(), 3);
        mark.marked =
            QDateTime::fromMSecsSinceEpoch(sqlite3_column_int64(all.get(), 4) / 1'000'000);
        marks.push_back(std::move(mark));
    }
    impl->ReadEnded(code);
    return marks;
}

std::int64_t NotSimilarMarks::Count() {
    const std::lock_guard lock(impl->mutex);
    if (impl->db == nullptr) {
        return 0;
    }
    int code = SQLITE_OK;
    const Statement count = Prepare(impl->db.get(), "SELECT count(*) FROM marks", code);
    return code == SQLITE_OK && sqlite3_step(count.get()) == SQLITE_ROW
               ? sqlite3_column_int64(count.get(), 0)
               : 0;
}

bool NotSimilarMarks::Clear() {
    const std::lock_guard lock(impl->mutex);
    return impl->Write([](sqlite3* db) { return Execute(db, "DELETE FROM marks"); });
}

MarkedPairs NotSimilarMarks::Snapshot() {
    std::vector<DigestPair> pairs;
    {
        const std::lock_guard lock(impl->mutex);
        if (impl->db == nullptr) {
            return {};
        }
        int code = SQLITE_OK;
        const Statement all = Prepare(impl->db.get(), "SELECT first, second FROM marks", code);
        while (code == SQLITE_OK && (code = sqlite3_step(all.get())) == SQLITE_ROW) {
            code = SQLITE_OK;
            pairs.push_back({ColumnDigest(all.get(), 0), ColumnDigest(all.get(), 1)});
        }
        impl->ReadEnded(code);
    }
    return MarkedPairs(std::move(pairs));
}

}  // namespace vistrel
