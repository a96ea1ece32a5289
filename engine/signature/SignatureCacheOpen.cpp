#include "CacheFolder.h"
#include "SignatureCache.h"
#include "SignatureCacheImpl.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <utility>

// Opening the cache's database: the checks of its place, its marker, its tables, and setting a
// damaged one aside.

namespace vistrel {

namespace {

using namespace cache_sql;

// Opening again after setting a damaged file aside; more only when other processes keep
// replacing it at the same moment.
constexpr int kOpenAttempts = 3;

}  // namespace

bool SignatureCache::Impl::OpenDatabase() {
    const QString folder = QFileInfo(path).absolutePath();
    if (const QString reason = MakePrivateFolder(folder); !reason.isEmpty()) {
        Fail(reason);
        return false;
    }
    if (const QString reason = FolderDistrust(folder); !reason.isEmpty()) {
        Refuse(reason);
        return false;
    }
    const std::unique_ptr<char, decltype(&std::free)> resolvedFolder(
        realpath(QFile::encodeName(folder).constData(), nullptr), &std::free);
    if (resolvedFolder == nullptr) {
        Fail(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    resolvedPath =
        QFile::decodeName(resolvedFolder.get()) + QLatin1Char('/') + QFileInfo(path).fileName();
    for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
        const std::optional<FileKey> before = KeyOf(path);
        bool damaged = false;
        if (TryOpen(damaged)) {
            opened = KeyOf(path);
            return true;
        }
        if (!damaged || !SetAside(before)) {
            return false;
        }
    }
    Fail(QStringLiteral("it is damaged again each time it is made"));
    return false;
}

bool SignatureCache::Impl::TryOpen(bool& damaged) {
    damaged = false;
    problem.clear();
    // A planted or linked log could feed the database pages of someone else's.
    for (const QString& file : {resolvedPath, resolvedPath + QStringLiteral("-wal"),
                                resolvedPath + QStringLiteral("-shm")}) {
        if (const QString reason = FileDistrust(file); !reason.isEmpty()) {
            Refuse(reason);
            return false;
        }
    }
    // Made here rather than by SQLite, for its mode: the log and shared memory take the
    // database's, and no other user may read what pictures this user has.
    const QByteArray name = QFile::encodeName(resolvedPath);
    if (const int made =
            open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        made >= 0) {
        close(made);
    } else if (errno != EEXIST) {
        Fail(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    sqlite3* handle = nullptr;
    int code = sqlite3_open_v2(name.constData(), &handle, kOpenFlags, nullptr);
    // SQLite gives a handle even when the open fails, for its message.
    db.reset(handle);
    if (code != SQLITE_OK) {
        Fail(ErrorText(code));
        return false;
    }
    if (sqlite3_db_readonly(db.get(), "main") == 1) {
        const std::optional<VolumeSpace> space = SpaceOf(QFileInfo(path).absolutePath());
        Fail(QString::fromLocal8Bit(std::strerror(space && space->readOnly ? EROFS : EACCES)));
        return false;
    }
    sqlite3_busy_timeout(db.get(), kBusyMilliseconds);
    bool foreign = false;
    code = ClaimDatabase(foreign);
    if (foreign) {
        Refuse(QStringLiteral("it holds a database that is not Vistrel's"));
        return false;
    }
    // The write-ahead log lets the window and vistrel-cli read while the other writes. A commit
    // waits for no disk flush; a crash can lose the last batches but never damages the file.
    if (code == SQLITE_OK) {
        code = Execute(db.get(), "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL");
    }
    if (code == SQLITE_OK) {
        Execute(db.get(), kLogLimit);
        code = PrepareTables();
    }
    if (code != SQLITE_OK) {
        damaged = IsDamage(code);
        Fail(ErrorText(code));
        return false;
    }
    return true;
}

int SignatureCache::Impl::ClaimDatabase(bool& foreign) {
    foreign = false;
    int code = Execute(db.get(), "BEGIN IMMEDIATE");
    int id = 0;
    if (code == SQLITE_OK) {
        const Statement read = Prepare(db.get(), "PRAGMA application_id", code);
        if (code == SQLITE_OK && (code = sqlite3_step(read.get())) == SQLITE_ROW) {
            id = sqlite3_column_int(read.get(), 0);
            code = SQLITE_OK;
        }
    }
    if (code == SQLITE_OK && id != kApplicationId) {
        // Empty, or this cache's own from before it had the id: the tables it made then and
        // nothing else (with their indexes), and its version row.
        std::int64_t others = -1;
        const Statement count = Prepare(db.get(),
                                        "SELECT count(*) FILTER (WHERE name NOT IN "
                                        "('meta', 'signatures') AND name NOT LIKE "
                                        "'sqlite_autoindex_%'), count(*) FROM sqlite_master",
                                        code);
        std::int64_t objects = 0;
        if (code == SQLITE_OK && (code = sqlite3_step(count.get())) == SQLITE_ROW) {
            others = sqlite3_column_int64(count.get(), 0);
            objects = sqlite3_column_int64(count.get(), 1);
            code = SQLITE_OK;
        }
        bool ours = code == SQLITE_OK && objects == 0;
        if (code == SQLITE_OK && !ours && id == 0 && others == 0) {
            int probe = SQLITE_OK;
            const Statement earlier = Prepare(
                db.get(),
                "SELECT (SELECT count(*) FROM meta WHERE name = 'algorithm_version'), "
                "(SELECT count(*) FROM (SELECT device, inode, size, modified_ns, side, path, "
                "stored_ns, signature FROM signatures LIMIT 0))",
                probe);
            ours = probe == SQLITE_OK && sqlite3_step(earlier.get()) == SQLITE_ROW &&
                   sqlite3_column_int(earlier.get(), 0) == 1;
        }
        if (code == SQLITE_OK && !ours) {
            foreign = true;
            Execute(db.get(), "ROLLBACK");
            return SQLITE_OK;
        }
        if (code == SQLITE_OK) {
            const std::string mark = "PRAGMA application_id=" + std::to_string(kApplicationId);
            code = Execute(db.get(), mark.c_str());
        }
    }
    if (code == SQLITE_OK) {
        code = Execute(db.get(), "COMMIT");
    }
    if (code != SQLITE_OK) {
        Execute(db.get(), "ROLLBACK");
    }
    return code;
}

int SignatureCache::Impl::PrepareTables() {
    // One process at a time makes the tables, or empties those of another version.
    int code = Execute(db.get(), "BEGIN IMMEDIATE");
    if (code == SQLITE_OK) {
        code = Execute(db.get(),
                       "CREATE TABLE IF NOT EXISTS meta(name TEXT PRIMARY KEY, value INTEGER)");
    }
    bool current = true;
    for (const auto& [name, wanted] : {std::pair{"algorithm_version", kAlgorithmVersion},
                                       std::pair{"schema_version", kSchemaVersion}}) {
        if (code != SQLITE_OK) {
            break;
        }
        const std::string select =
            std::string("SELECT value FROM meta WHERE name = '") + name + "'";
        const Statement read = Prepare(db.get(), select.c_str(), code);
        int version = 0;
        if (code == SQLITE_OK) {
            code = sqlite3_step(read.get());
            if (code == SQLITE_ROW) {
                version = sqlite3_column_int(read.get(), 0);
            }
            code = code == SQLITE_ROW || code == SQLITE_DONE ? SQLITE_OK : code;
        }
        current = current && version == wanted;
    }
    if (code == SQLITE_OK && !current) {
        // Signatures made another way would compare wrongly with the new ones, and entries
        // without a change time or digest cannot be told from a rewritten file.
        code = Execute(db.get(), "DROP TABLE IF EXISTS signatures");
        if (code == SQLITE_OK) {
            const std::string insert =
                "INSERT OR REPLACE INTO meta(name, value) VALUES('algorithm_version', " +
                std::to_string(kAlgorithmVersion) + "), ('schema_version', " +
                std::to_string(kSchemaVersion) + ")";
            code = Execute(db.get(), insert.c_str());
        }
    }
    if (code == SQLITE_OK) {
        // The signature stays the last column, so that reading the others never reads it.
        code = Execute(db.get(),
                       "CREATE TABLE IF NOT EXISTS signatures("
                       "device INTEGER NOT NULL, inode INTEGER NOT NULL, "
                       "size INTEGER NOT NULL, modified_ns INTEGER NOT NULL, "
                       "changed_ns INTEGER NOT NULL, digest INTEGER NOT NULL, "
                       "side INTEGER NOT NULL, path BLOB NOT NULL, stored_ns INTEGER NOT NULL, "
                       "signature BLOB, PRIMARY KEY(device, inode))");
    }
    if (code == SQLITE_OK) {
        code = Execute(db.get(), "COMMIT");
    }
    if (code != SQLITE_OK) {
        Execute(db.get(), "ROLLBACK");
    }
    return code;
}

bool SignatureCache::Impl::SetAside(const std::optional<FileKey>& before) {
    CloseDatabase();
    const std::optional<FileKey> now = KeyOf(path);
    if (!now || (before && (now->device != before->device || now->inode != before->inode))) {
        // Another process set it aside first and may have made the new one already.
        return true;
    }
    const QString stamp = path + QStringLiteral(".damaged-") +
                          QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    // Never over a file set aside earlier in the same second.
    QString aside = stamp;
    for (int n = 2; QFileInfo::exists(aside); ++n) {
        aside = stamp + QLatin1Char('-') + QString::number(n);
    }
    if (std::rename(QFile::encodeName(path).constData(), QFile::encodeName(aside).constData()) !=
            0 &&
        errno != ENOENT) {
        Fail(QStringLiteral("it is damaged and cannot be set aside (%1)")
                 .arg(QString::fromLocal8Bit(std::strerror(errno))));
        return false;
    }
    // The log and shared memory of the damaged file must not be applied to the new one.
    for (const QLatin1String suffix : {QLatin1String("-wal"), QLatin1String("-shm")}) {
        std::rename(QFile::encodeName(path + suffix).constData(),
                    QFile::encodeName(aside + suffix).constData());
    }
    return true;
}

}  // namespace vistrel
