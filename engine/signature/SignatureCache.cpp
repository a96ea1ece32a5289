#include "SignatureCache.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>
#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

namespace vistrel {

namespace {

// Entries written in one transaction: few enough to keep a transaction short for the other
// processes, many enough that a folder of small pictures does not wait on commits.
constexpr std::size_t kFlushEvery = 256;
// Another process may hold the write lock while it commits a batch or clears the cache.
constexpr int kBusyMilliseconds = 5000;
// Opening again after setting a damaged file aside; more only when other processes keep
// replacing it at the same moment.
constexpr int kOpenAttempts = 3;

using Statement = std::unique_ptr<sqlite3_stmt, SqliteStatementFinalizer>;

Statement Prepare(sqlite3* db, const char* sql, int& code) {
    sqlite3_stmt* statement = nullptr;
    code = sqlite3_prepare_v2(db, sql, -1, &statement, nullptr);
    return Statement(statement);
}

int Execute(sqlite3* db, const char* sql) {
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
}

bool IsDamage(int code) {
    const int primary = code & 0xff;
    return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
}

std::int64_t NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

std::int64_t FileSize(const QString& path) {
    struct stat status {};
    return stat(QFile::encodeName(path).constData(), &status) == 0 ? status.st_size : 0;
}

// SQLite's integers are signed; device and inode numbers keep their bits either way.
sqlite3_int64 AsStored(std::uint64_t value) {
    return static_cast<sqlite3_int64>(value);
}

}  // namespace

void SqliteStatementFinalizer::operator()(sqlite3_stmt* statement) const {
    sqlite3_finalize(statement);
}

void SignatureCache::DatabaseCloser::operator()(sqlite3* handle) const {
    // The last connection checkpoints the log into the database and removes it.
    sqlite3_close_v2(handle);
}

std::optional<SignatureCache::FileKey> SignatureCache::KeyOf(const QString& path) {
    struct stat status {};
    if (path.isEmpty() || stat(QFile::encodeName(path).constData(), &status) != 0) {
        return std::nullopt;
    }
    FileKey key;
    key.device = static_cast<std::uint64_t>(status.st_dev);
    key.inode = static_cast<std::uint64_t>(status.st_ino);
    key.size = static_cast<std::int64_t>(status.st_size);
    key.modifiedNs = static_cast<std::int64_t>(status.st_mtim.tv_sec) * 1'000'000'000 +
                     static_cast<std::int64_t>(status.st_mtim.tv_nsec);
    return key;
}

QString SignatureCache::DefaultPath() {
    QString base = qEnvironmentVariable("XDG_CACHE_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base)) {
        base = QDir::homePath() + QStringLiteral("/.cache");
    }
    return base + QStringLiteral("/vistrel/signatures.sqlite");
}

SignatureCache::SignatureCache(QString path) : path(std::move(path)) {
    const std::lock_guard lock(mutex);
    if (!OpenDatabase()) {
        return;
    }
    sqlite3* handle = nullptr;
    const int code = sqlite3_open_v2(QFile::encodeName(this->path).constData(), &handle,
                                     SQLITE_OPEN_READWRITE, nullptr);
    writerDb.reset(handle);
    if (code != SQLITE_OK) {
        Fail(ErrorText(code));
        return;
    }
    sqlite3_busy_timeout(writerDb.get(), kBusyMilliseconds);
    Execute(writerDb.get(), "PRAGMA synchronous=NORMAL");
    try {
        writer = std::thread(&SignatureCache::WriteEntries, this);
    } catch (const std::system_error& error) {
        Fail(QString::fromLocal8Bit(error.what()));
    }
}

SignatureCache::~SignatureCache() {
    {
        const std::lock_guard lock(mutex);
        stopping = true;
    }
    writeWanted.notify_all();
    if (writer.joinable()) {
        writer.join();  // it writes what is pending first
    }
    const std::lock_guard lock(mutex);
    writerDb.reset();
    CloseDatabase();
}

bool SignatureCache::IsOpen() const {
    const std::lock_guard lock(mutex);
    return db != nullptr;
}

QString SignatureCache::Problem() const {
    const std::lock_guard lock(mutex);
    return problem;
}

bool SignatureCache::OpenDatabase() {
    std::error_code error;
    std::filesystem::create_directories(
        std::filesystem::path(QFile::encodeName(QFileInfo(path).absolutePath()).toStdString()),
        error);
    if (error) {
        Fail(QString::fromLocal8Bit(error.message().c_str()));
        return false;
    }
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

bool SignatureCache::TryOpen(bool& damaged) {
    damaged = false;
    problem.clear();
    sqlite3* handle = nullptr;
    int code = sqlite3_open_v2(QFile::encodeName(path).constData(), &handle,
                               SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    // SQLite gives a handle even when the open fails, for its message.
    db.reset(handle);
    if (code != SQLITE_OK) {
        Fail(ErrorText(code));
        return false;
    }
    if (sqlite3_db_readonly(db.get(), "main") == 1) {
        Fail(QString::fromLocal8Bit(std::strerror(EACCES)));
        return false;
    }
    sqlite3_busy_timeout(db.get(), kBusyMilliseconds);
    // The write-ahead log lets the window and vistrel-cli read while the other writes. A commit
    // waits for no disk flush; a crash can lose the last batches but never damages the file.
    code = Execute(db.get(), "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL");
    // One process at a time makes the tables, or empties those of another algorithm version.
    if (code == SQLITE_OK) {
        code = Execute(db.get(), "BEGIN IMMEDIATE");
    }
    if (code == SQLITE_OK) {
        code = Execute(db.get(),
                       "CREATE TABLE IF NOT EXISTS meta(name TEXT PRIMARY KEY, value INTEGER)");
    }
    int version = 0;
    if (code == SQLITE_OK) {
        const Statement read =
            Prepare(db.get(), "SELECT value FROM meta WHERE name = 'algorithm_version'", code);
        if (code == SQLITE_OK) {
            code = sqlite3_step(read.get());
            if (code == SQLITE_ROW) {
                version = sqlite3_column_int(read.get(), 0);
                code = SQLITE_OK;
            } else if (code == SQLITE_DONE) {
                code = SQLITE_OK;
            }
        }
    }
    if (code == SQLITE_OK && version != kAlgorithmVersion) {
        // Signatures made another way would compare wrongly with the new ones.
        code = Execute(db.get(), "DROP TABLE IF EXISTS signatures");
        if (code == SQLITE_OK) {
            const std::string insert =
                "INSERT OR REPLACE INTO meta(name, value) VALUES('algorithm_version', " +
                std::to_string(kAlgorithmVersion) + ")";
            code = Execute(db.get(), insert.c_str());
        }
    }
    if (code == SQLITE_OK) {
        // The signature stays the last column, so that reading the others never reads it.
        code = Execute(db.get(),
                       "CREATE TABLE IF NOT EXISTS signatures("
                       "device INTEGER NOT NULL, inode INTEGER NOT NULL, "
                       "size INTEGER NOT NULL, modified_ns INTEGER NOT NULL, "
                       "side INTEGER NOT NULL, path BLOB NOT NULL, stored_ns INTEGER NOT NULL, "
                       "signature BLOB, PRIMARY KEY(device, inode))");
    }
    if (code == SQLITE_OK) {
        code = Execute(db.get(), "COMMIT");
    }
    if (code != SQLITE_OK) {
        damaged = IsDamage(code);
        Fail(ErrorText(code));
        return false;
    }
    return true;
}

bool SignatureCache::SetAside(const std::optional<FileKey>& before) {
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

void SignatureCache::CloseDatabase() {
    findStatement.reset();  // a statement left unfinalized keeps the connection open
    db.reset();
    opened.reset();
}

void SignatureCache::Fail(const QString& reason) {
    problem = QStringLiteral("the signature cache %1 cannot be written: %2; working without it")
                  .arg(QDir::toNativeSeparators(path), reason);
    pending.clear();
    CloseDatabase();
}

QString SignatureCache::ErrorText(int code, sqlite3* connection) const {
    sqlite3* const handle = connection != nullptr ? connection : db.get();
    const int primary = code & 0xff;
    if (handle != nullptr && (primary == SQLITE_IOERR || primary == SQLITE_FULL ||
                              primary == SQLITE_CANTOPEN || primary == SQLITE_READONLY)) {
        // "disk I/O error" says less than the system's own reason, such as a full disk.
        if (const int system = sqlite3_system_errno(handle); system != 0) {
            return QString::fromLocal8Bit(std::strerror(system));
        }
    }
    if (primary == SQLITE_FULL) {
        return QString::fromLocal8Bit(std::strerror(ENOSPC));
    }
    return QString::fromUtf8(handle != nullptr ? sqlite3_errmsg(handle) : sqlite3_errstr(code));
}

std::optional<SignatureBytes> SignatureCache::Find(const FileKey& key, int side) {
    const std::lock_guard lock(mutex);
    if (db == nullptr) {
        return std::nullopt;
    }
    // The newest entry of the file still waiting to be written wins over the database.
    for (const std::vector<Pending>* waiting : {&pending, &writing}) {
        for (auto entry = waiting->rbegin(); entry != waiting->rend(); ++entry) {
            if (entry->key.device == key.device && entry->key.inode == key.inode) {
                if (entry->key == key && entry->side == side) {
                    return entry->signature;
                }
                return std::nullopt;
            }
        }
    }
    int code = SQLITE_OK;
    if (findStatement == nullptr) {
        findStatement = Prepare(db.get(),
                                "SELECT signature FROM signatures WHERE device = ?1 AND "
                                "inode = ?2 AND size = ?3 AND modified_ns = ?4 AND side = ?5",
                                code);
    }
    sqlite3_stmt* const find = findStatement.get();
    if (code == SQLITE_OK) {
        sqlite3_bind_int64(find, 1, AsStored(key.device));
        sqlite3_bind_int64(find, 2, AsStored(key.inode));
        sqlite3_bind_int64(find, 3, key.size);
        sqlite3_bind_int64(find, 4, key.modifiedNs);
        sqlite3_bind_int(find, 5, side);
        code = sqlite3_step(find);
    }
    std::optional<SignatureBytes> found;
    if (code == SQLITE_ROW) {
        const auto* bytes = static_cast<const std::uint8_t*>(sqlite3_column_blob(find, 0));
        const auto length = static_cast<std::size_t>(sqlite3_column_bytes(find, 0));
        const auto expected = static_cast<std::size_t>(3 * side) * static_cast<std::size_t>(side);
        if (bytes == nullptr || length == 0) {
            found = SignatureBytes();
        } else if (length == expected) {
            found = SignatureBytes(std::vector<std::uint8_t>(bytes, bytes + length));
        }
    }
    if (find != nullptr) {
        // Ends the read, which would otherwise hold back the log's checkpoints.
        sqlite3_reset(find);
    }
    if (found) {
        return found;
    }
    if (IsDamage(code)) {
        // Setting the file aside here could pull it from under the writer thread or another
        // process; the next cache to open it does that.
        Fail(ErrorText(code));
    }
    // Busy past the timeout, or an I/O error: the caller makes the signature itself.
    return std::nullopt;
}

void SignatureCache::Store(const FileKey& key, const QString& filePath, int side,
                           const SignatureBytes& signature) {
    const std::lock_guard lock(mutex);
    if (db == nullptr || side <= 0 ||
        (!signature.empty() &&
         signature.size() != static_cast<std::size_t>(3 * side) * static_cast<std::size_t>(side))) {
        return;
    }
    pending.push_back({key, filePath, side, signature});
    if (pending.size() >= kFlushEvery) {
        writeWanted.notify_one();
    }
}

void SignatureCache::Flush() {
    std::unique_lock lock(mutex);
    if (!writer.joinable()) {
        pending.clear();
        return;
    }
    flushWanted = true;
    writeWanted.notify_one();
    written.wait(lock, [this] { return pending.empty() && writing.empty(); });
}

void SignatureCache::WriteSoon() {
    {
        const std::lock_guard lock(mutex);
        flushWanted = true;
    }
    writeWanted.notify_one();
}

void SignatureCache::WriteEntries() {
    std::unique_lock lock(mutex);
    for (;;) {
        writeWanted.wait(
            lock, [this] { return stopping || flushWanted || pending.size() >= kFlushEvery; });
        if (!pending.empty() && db != nullptr) {
            writing.swap(pending);
            lock.unlock();
            const int code = WriteBatch(writing);
            // The writer connection is this thread's alone.
            const QString reason = code != SQLITE_OK ? ErrorText(code, writerDb.get()) : QString();
            lock.lock();
            writing.clear();
            if (code != SQLITE_OK && db != nullptr) {
                const int primary = code & 0xff;
                if (IsDamage(code) || (primary != SQLITE_BUSY && primary != SQLITE_LOCKED)) {
                    // Damaged, a full disk or a failing one: stop here rather than fail on
                    // every batch.
                    Fail(reason);
                }
                // Busy past the timeout: another process holds the cache; this batch is made
                // again in a later run.
            }
            continue;  // more may have come meanwhile
        }
        pending.clear();  // nothing to write them to once the cache has stopped
        flushWanted = false;
        written.notify_all();
        if (stopping) {
            return;
        }
    }
}

int SignatureCache::WriteBatch(const std::vector<Pending>& batch) {
    sqlite3* const handle = writerDb.get();
    int code = Execute(handle, "BEGIN IMMEDIATE");
    if (code == SQLITE_OK) {
        const Statement insert =
            Prepare(handle,
                    "INSERT OR REPLACE INTO signatures(device, inode, size, modified_ns, side, "
                    "path, stored_ns, signature) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)",
                    code);
        const std::int64_t now = NowNs();
        for (std::size_t i = 0; code == SQLITE_OK && i < batch.size(); ++i) {
            const Pending& entry = batch[i];
            const QByteArray name = QFile::encodeName(entry.path);
            sqlite3_bind_int64(insert.get(), 1, AsStored(entry.key.device));
            sqlite3_bind_int64(insert.get(), 2, AsStored(entry.key.inode));
            sqlite3_bind_int64(insert.get(), 3, entry.key.size);
            sqlite3_bind_int64(insert.get(), 4, entry.key.modifiedNs);
            sqlite3_bind_int(insert.get(), 5, entry.side);
            sqlite3_bind_blob(insert.get(), 6, name.constData(), static_cast<int>(name.size()),
                              SQLITE_TRANSIENT);
            sqlite3_bind_int64(insert.get(), 7, now);
            if (entry.signature.empty()) {
                sqlite3_bind_null(insert.get(), 8);
            } else {
                // The entry keeps its signature alive until the statement is reset.
                sqlite3_bind_blob(insert.get(), 8, entry.signature.data(),
                                  static_cast<int>(entry.signature.size()), SQLITE_STATIC);
            }
            code = sqlite3_step(insert.get());
            code = code == SQLITE_DONE ? SQLITE_OK : code;
            sqlite3_reset(insert.get());
        }
    }
    if (code == SQLITE_OK) {
        code = Execute(handle, "COMMIT");
    }
    if (code != SQLITE_OK) {
        Execute(handle, "ROLLBACK");
    }
    return code;
}

SignatureCache::Stats SignatureCache::GetStats() {
    Flush();
    const std::lock_guard lock(mutex);
    Stats stats;
    if (db == nullptr) {
        return stats;
    }
    int code = SQLITE_OK;
    const Statement count = Prepare(db.get(),
                                    "SELECT count(*), "
                                    "count(*) FILTER (WHERE ifnull(length(signature), 0) = 0), "
                                    "ifnull(min(stored_ns), 0) FROM signatures",
                                    code);
    if (code == SQLITE_OK && sqlite3_step(count.get()) == SQLITE_ROW) {
        stats.entries = sqlite3_column_int64(count.get(), 0);
        stats.unreadable = sqlite3_column_int64(count.get(), 1);
        stats.oldestStoredNs = sqlite3_column_int64(count.get(), 2);
    }
    stats.bytesOnDisk = FileSize(path) + FileSize(path + QStringLiteral("-wal"));
    return stats;
}

std::int64_t SignatureCache::Prune() {
    Flush();
    const std::lock_guard lock(mutex);
    if (db == nullptr) {
        return 0;
    }
    struct Entry {
        FileKey key;
        QString path;
    };
    std::vector<Entry> gone;
    int code = SQLITE_OK;
    {
        const Statement all = Prepare(
            db.get(), "SELECT device, inode, size, modified_ns, path FROM signatures", code);
        while (code == SQLITE_OK && sqlite3_step(all.get()) == SQLITE_ROW) {
            Entry entry;
            entry.key.device = static_cast<std::uint64_t>(sqlite3_column_int64(all.get(), 0));
            entry.key.inode = static_cast<std::uint64_t>(sqlite3_column_int64(all.get(), 1));
            entry.key.size = sqlite3_column_int64(all.get(), 2);
            entry.key.modifiedNs = sqlite3_column_int64(all.get(), 3);
            const auto* name = static_cast<const char*>(sqlite3_column_blob(all.get(), 4));
            entry.path = QFile::decodeName(
                QByteArray(name, name != nullptr ? sqlite3_column_bytes(all.get(), 4) : 0));
            if (KeyOf(entry.path) != entry.key) {
                gone.push_back(std::move(entry));
            }
        }
    }
    if (gone.empty()) {
        return 0;
    }
    code = Execute(db.get(), "BEGIN IMMEDIATE");
    std::int64_t dropped = 0;
    if (code == SQLITE_OK) {
        // The whole key: an entry another process stored meanwhile for new content stays.
        const Statement drop = Prepare(db.get(),
                                       "DELETE FROM signatures WHERE device = ?1 AND inode = ?2 "
                                       "AND size = ?3 AND modified_ns = ?4",
                                       code);
        for (std::size_t i = 0; code == SQLITE_OK && i < gone.size(); ++i) {
            sqlite3_bind_int64(drop.get(), 1, AsStored(gone[i].key.device));
            sqlite3_bind_int64(drop.get(), 2, AsStored(gone[i].key.inode));
            sqlite3_bind_int64(drop.get(), 3, gone[i].key.size);
            sqlite3_bind_int64(drop.get(), 4, gone[i].key.modifiedNs);
            code = sqlite3_step(drop.get());
            code = code == SQLITE_DONE ? SQLITE_OK : code;
            dropped += sqlite3_changes(db.get());
            sqlite3_reset(drop.get());
        }
    }
    if (code == SQLITE_OK) {
        code = Execute(db.get(), "COMMIT");
    }
    if (code != SQLITE_OK) {
        const QString reason = ErrorText(code);
        Execute(db.get(), "ROLLBACK");
        if ((code & 0xff) != SQLITE_BUSY) {
            Fail(reason);  // damaged, or a disk that fails
        }
        return 0;
    }
    return dropped;
}

bool SignatureCache::Clear() {
    const std::lock_guard lock(mutex);
    pending.clear();
    if (db == nullptr || Execute(db.get(), "DELETE FROM signatures") != SQLITE_OK) {
        return false;
    }
    // Give the space back; another process reading at this moment only keeps the file large.
    Execute(db.get(), "VACUUM");
    Execute(db.get(), "PRAGMA wal_checkpoint(TRUNCATE)");
    return true;
}

namespace {

std::mutex installedMutex;
std::shared_ptr<SignatureCache> installed;

}  // namespace

std::shared_ptr<SignatureCache> InstalledSignatureCache() {
    const std::lock_guard lock(installedMutex);
    return installed;
}

void InstallSignatureCache(std::shared_ptr<SignatureCache> cache) {
    const std::lock_guard lock(installedMutex);
    installed = std::move(cache);
}

}  // namespace vistrel
