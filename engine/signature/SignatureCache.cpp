#include "SignatureCache.h"

#include "CacheFolder.h"
#include "FileDigest.h"
#include "SignatureCacheImpl.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>
#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <system_error>

namespace vistrel {

namespace {

using namespace cache_sql;

// Free space as a person reads it: MB, or KB on a disk too small for that.
QString SpaceText(std::uint64_t bytes) {
    return bytes >= (std::uint64_t{10} << 20) ? QStringLiteral("%1 MB").arg(bytes >> 20)
                                              : QStringLiteral("%1 KB").arg(bytes >> 10);
}

std::int64_t NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

}  // namespace

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
    key.changedNs = static_cast<std::int64_t>(status.st_ctim.tv_sec) * 1'000'000'000 +
                    static_cast<std::int64_t>(status.st_ctim.tv_nsec);
    key.path = path;
    return key;
}

QString SignatureCache::DefaultPath() {
    QString base = qEnvironmentVariable("XDG_CACHE_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base)) {
        base = QDir::homePath() + QStringLiteral("/.cache");
    }
    return base + QStringLiteral("/vistrel/signatures.sqlite");
}

SignatureCache::Impl::Impl(QString path) : path(std::move(path)) {
    const std::lock_guard lock(mutex);
    if (!OpenDatabase()) {
        return;
    }
    sqlite3* handle = nullptr;
    const int code =
        sqlite3_open_v2(QFile::encodeName(resolvedPath).constData(), &handle, kOpenFlags, nullptr);
    writerDb.reset(handle);
    if (code != SQLITE_OK) {
        Fail(ErrorText(code, writerDb.get()));
        return;
    }
    sqlite3_busy_timeout(writerDb.get(), kBusyMilliseconds);
    Execute(writerDb.get(), "PRAGMA synchronous=NORMAL");
    Execute(writerDb.get(), kLogLimit);
    try {
        writer = std::thread(&SignatureCache::Impl::WriteEntries, this);
    } catch (const std::system_error& error) {
        Fail(QString::fromLocal8Bit(error.what()));
    }
}

SignatureCache::Impl::~Impl() {
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
    EndRead();
    if (db != nullptr) {
        // Gives the log's space back even when another process still reads (which keeps SQLite
        // from removing it on close). A process in the middle of a batch is waited for only
        // briefly: its own close does it then.
        sqlite3_busy_timeout(db.get(), 250);
        Execute(db.get(), "PRAGMA wal_checkpoint(TRUNCATE)");
    }
    CloseDatabase();
}

bool SignatureCache::Impl::IsOpen() const {
    const std::lock_guard lock(mutex);
    return db != nullptr;
}

bool SignatureCache::Impl::IsRefused() const {
    const std::lock_guard lock(mutex);
    return refused;
}

QString SignatureCache::Impl::Problem() const {
    const std::lock_guard lock(mutex);
    return problem;
}

void SignatureCache::Impl::EndRead() {
    if (reading) {
        reading = false;
        // A read transaction only ends: nothing to lose when it fails (closing the connection
        // would end it too).
        Execute(db.get(), "COMMIT");
    }
}

void SignatureCache::Impl::CloseDatabase() {
    reading = false;        // closing ends it
    findStatement.reset();  // a statement left unfinalized keeps the connection open
    db.reset();
    opened.reset();
}

void SignatureCache::Impl::Fail(const QString& reason) {
    problem = QStringLiteral("the signature cache %1 cannot be written: %2; working without it")
                  .arg(QDir::toNativeSeparators(path), reason);
    pending.clear();
    CloseDatabase();
}

void SignatureCache::Impl::Refuse(const QString& reason) {
    problem = QStringLiteral("the signature cache %1 is not used: %2; working without it")
                  .arg(QDir::toNativeSeparators(path), reason);
    refused = true;
    pending.clear();
    CloseDatabase();
}

QString SignatureCache::Impl::ErrorText(int code, sqlite3* connection) const {
    return sql::ErrorText(code, connection != nullptr ? connection : db.get());
}

std::optional<SignatureCache::Impl::Found> SignatureCache::Impl::Lookup(const FileKey& key,
                                                                        int side) {
    // The newest entry of the file still waiting to be written wins over the database.
    for (const std::vector<Pending>* waiting : {&pending, &writing}) {
        for (auto entry = waiting->rbegin(); entry != waiting->rend(); ++entry) {
            if (entry->key.device == key.device && entry->key.inode == key.inode) {
                if (entry->key.size == key.size && entry->key.modifiedNs == key.modifiedNs &&
                    entry->side == side) {
                    return Found{entry->signature, {}, entry->key.changedNs, entry->digest};
                }
                return std::nullopt;
            }
        }
    }
    int code = SQLITE_OK;
    if (findStatement == nullptr) {
        findStatement = Prepare(db.get(),
                                "SELECT changed_ns, digest, signature FROM signatures WHERE "
                                "device = ?1 AND inode = ?2 AND size = ?3 AND modified_ns = ?4 "
                                "AND side = ?5",
                                code);
    }
    sqlite3_stmt* const find = findStatement.get();
    if (code == SQLITE_OK && !reading && !committing) {
        // Without it each find is a transaction of its own; a failure here leaves just that.
        reading = Execute(db.get(), "BEGIN") == SQLITE_OK;
        findsLeft = kFindsPerRead;
    }
    if (code == SQLITE_OK) {
        sqlite3_bind_int64(find, 1, AsStored(key.device));
        sqlite3_bind_int64(find, 2, AsStored(key.inode));
        sqlite3_bind_int64(find, 3, key.size);
        sqlite3_bind_int64(find, 4, key.modifiedNs);
        sqlite3_bind_int(find, 5, side);
        code = sqlite3_step(find);
    }
    std::optional<Found> found;
    if (code == SQLITE_ROW) {
        const auto* bytes = static_cast<const std::uint8_t*>(sqlite3_column_blob(find, 2));
        const auto length = static_cast<std::size_t>(sqlite3_column_bytes(find, 2));
        const auto expected = static_cast<std::size_t>(3 * side) * static_cast<std::size_t>(side);
        const std::int64_t changed = sqlite3_column_int64(find, 0);
        const auto digest = static_cast<std::uint64_t>(sqlite3_column_int64(find, 1));
        if (bytes == nullptr || length == 0) {
            found = Found{SignatureBytes(), {}, changed, digest};
        } else if (length == expected) {
            found = Found{SignatureBytes(), std::vector<std::uint8_t>(bytes, bytes + length),
                          changed, digest};
        }
    }
    if (find != nullptr) {
        sqlite3_reset(find);
    }
    // The transaction ends after its share of finds, or at once when the read went wrong.
    if (reading && (--findsLeft == 0 || (code != SQLITE_ROW && code != SQLITE_DONE))) {
        EndRead();
    }
    if (!found && IsDamage(code)) {
        // Setting the file aside here could pull it from under the writer thread or another
        // process; the next cache to open it does that.
        Fail(ErrorText(code));
    }
    // Busy past the timeout, or an I/O error: the caller makes the signature itself.
    return found;
}

std::optional<SignatureBytes> SignatureCache::Impl::Find(const FileKey& key, int side) {
    std::optional<Found> found;
    {
        const std::lock_guard lock(mutex);
        if (db == nullptr) {
            return std::nullopt;
        }
        found = Lookup(key, side);
    }
    if (!found) {
        return std::nullopt;
    }
    if (!found->stored.empty()) {
        // The sketch is made here, where the other finds need not wait for it.
        found->signature = SignatureBytes(std::move(found->stored));
    }
    if (found->changedNs == key.changedNs) {
        return std::move(found->signature);
    }
    // Only the change time moved: a chmod, a rename, a new link, or new bytes written with the
    // size and modification time put back. The bytes tell which; read without the lock, since
    // a large file takes a while.
    if (key.path.isEmpty()) {
        return std::nullopt;
    }
    const std::optional<std::uint64_t> digest = DigestFile(key.path);
    // The file read must still be the one of `key`, or the bytes were another content's.
    if (!digest || *digest != found->digest || SignatureCache::KeyOf(key.path) != key) {
        return std::nullopt;
    }
    {
        // The entry takes the new change time, so that the file is not read again next time.
        const std::lock_guard lock(mutex);
        if (db != nullptr && storing) {
            pending.push_back({key, key.path, side, found->signature, *digest});
            if (pending.size() >= kFlushEvery) {
                writeWanted.notify_one();
            }
        }
    }
    return std::move(found->signature);
}

void SignatureCache::Impl::Store(const FileKey& key, const QString& filePath, int side,
                                 const SignatureBytes& signature,
                                 std::optional<std::uint64_t> digest) {
    if (side <= 0 ||
        (!signature.empty() &&
         signature.size() != static_cast<std::size_t>(3 * side) * static_cast<std::size_t>(side))) {
        return;
    }
    {
        const std::lock_guard lock(mutex);
        if (db == nullptr || !storing) {
            return;  // spares reading the file
        }
    }
    if (!digest) {
        digest = DigestFile(filePath);
        // The bytes read must be those of `key`: the file may have changed since it was decoded.
        if (!digest || SignatureCache::KeyOf(filePath) != key) {
            return;
        }
    }
    const std::lock_guard lock(mutex);
    if (db == nullptr || !storing) {
        return;
    }
    pending.push_back({key, filePath, side, signature, *digest});
    if (pending.size() >= kFlushEvery) {
        writeWanted.notify_one();
    }
}

void SignatureCache::Impl::Flush() {
    std::unique_lock lock(mutex);
    if (!writer.joinable()) {
        pending.clear();
        return;
    }
    flushWanted = true;
    writeWanted.notify_one();
    written.wait(lock, [this] { return pending.empty() && writing.empty(); });
}

void SignatureCache::Impl::WriteSoon() {
    {
        const std::lock_guard lock(mutex);
        flushWanted = true;
    }
    writeWanted.notify_one();
}

void SignatureCache::Impl::WriteEntries() {
    std::unique_lock lock(mutex);
    for (;;) {
        writeWanted.wait(
            lock, [this] { return stopping || flushWanted || pending.size() >= kFlushEvery; });
        if (!pending.empty() && db != nullptr && RoomFor(pending)) {
            writing.swap(pending);
            // The commit's checkpoint moves the log into the database only up to the oldest
            // read still open: a read held across it would leave the log to grow all run long.
            EndRead();
            committing = true;
            lock.unlock();
            const int code = WriteBatch(writing);
            // The writer connection is this thread's alone.
            const QString reason = code != SQLITE_OK ? ErrorText(code, writerDb.get()) : QString();
            lock.lock();
            writing.clear();
            committing = false;
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
        pending.clear();  // nothing to write them to once the cache has stopped or the disk is low
        // A flush comes when a run's finds are over: their transaction must not hold back the
        // log's checkpoints while the cache is idle.
        EndRead();
        flushWanted = false;
        written.notify_all();
        if (stopping) {
            return;
        }
    }
}

int SignatureCache::Impl::WriteBatch(const std::vector<Pending>& batch) {
    sqlite3* const handle = writerDb.get();
    int code = Execute(handle, "BEGIN IMMEDIATE");
    if (code == SQLITE_OK) {
        const Statement insert =
            Prepare(handle,
                    "INSERT OR REPLACE INTO signatures(device, inode, size, modified_ns, "
                    "changed_ns, digest, side, path, stored_ns, signature) "
                    "VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10)",
                    code);
        const std::int64_t now = NowNs();
        for (std::size_t i = 0; code == SQLITE_OK && i < batch.size(); ++i) {
            const Pending& entry = batch[i];
            const QByteArray name = QFile::encodeName(entry.path);
            sqlite3_bind_int64(insert.get(), 1, AsStored(entry.key.device));
            sqlite3_bind_int64(insert.get(), 2, AsStored(entry.key.inode));
            sqlite3_bind_int64(insert.get(), 3, entry.key.size);
            sqlite3_bind_int64(insert.get(), 4, entry.key.modifiedNs);
            sqlite3_bind_int64(insert.get(), 5, entry.key.changedNs);
            sqlite3_bind_int64(insert.get(), 6, AsStored(entry.digest));
            sqlite3_bind_int(insert.get(), 7, entry.side);
            sqlite3_bind_blob(insert.get(), 8, name.constData(), static_cast<int>(name.size()),
                              SQLITE_TRANSIENT);
            sqlite3_bind_int64(insert.get(), 9, now);
            if (entry.signature.empty()) {
                sqlite3_bind_null(insert.get(), 10);
            } else {
                // The entry keeps its signature alive until the statement is reset.
                sqlite3_bind_blob(insert.get(), 10, entry.signature.data(),
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

bool SignatureCache::Impl::RoomFor(const std::vector<Pending>& batch) {
    if (!storing) {
        return false;
    }
    const std::optional<VolumeSpace> space = SpaceOf(QFileInfo(path).absolutePath());
    if (!space) {
        return true;  // SQLite's own errors tell of a disk that fails
    }
    // Each entry goes to the log first and to the database at the next checkpoint.
    std::uint64_t bytes = 0;
    for (const Pending& entry : batch) {
        bytes += 2 * (entry.signature.size() + static_cast<std::size_t>(entry.path.size()) + 128);
    }
    if (LeavesFreeSpace(space->freeBytes, space->volumeBytes, bytes)) {
        return true;
    }
    storing = false;
    problem = QStringLiteral(
                  "the signature cache %1 stores no more signatures: its disk has %2 "
                  "free, and the cache leaves at least %3 free; the signatures it "
                  "holds are still used")
                  .arg(QDir::toNativeSeparators(path), SpaceText(space->freeBytes),
                       SpaceText(FreeSpaceFloor(space->volumeBytes)));
    return false;
}

SignatureCache::SignatureCache(QString path) : impl(std::make_unique<Impl>(std::move(path))) {}

SignatureCache::~SignatureCache() = default;

bool SignatureCache::IsOpen() const {
    return impl->IsOpen();
}

bool SignatureCache::IsRefused() const {
    return impl->IsRefused();
}

QString SignatureCache::Path() const {
    return impl->path;
}

QString SignatureCache::Problem() const {
    return impl->Problem();
}

std::optional<SignatureBytes> SignatureCache::Find(const FileKey& key, int side) {
    return impl->Find(key, side);
}

void SignatureCache::Store(const FileKey& key, const QString& path, int side,
                           const SignatureBytes& signature) {
    impl->Store(key, path, side, signature, std::nullopt);
}

void SignatureCache::StoreDigested(const FileKey& key, const QString& path, int side,
                                   const SignatureBytes& signature, std::uint64_t digest) {
    impl->Store(key, path, side, signature, digest);
}

void SignatureCache::Flush() {
    impl->Flush();
}

void SignatureCache::WriteSoon() {
    impl->WriteSoon();
}

SignatureCache::Stats SignatureCache::GetStats() {
    return impl->GetStats();
}

std::int64_t SignatureCache::Prune() {
    return impl->Prune();
}

bool SignatureCache::Clear() {
    return impl->Clear();
}

}  // namespace vistrel
