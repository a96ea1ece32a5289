#include "CacheFolder.h"
#include "FileDigest.h"
#include "SignatureCache.h"
#include "SignatureCacheImpl.h"

#include <QFile>

#include <utility>
#include <vector>

// What `vistrel-cli cache` does to the cache as a whole: counting, pruning and clearing.

namespace vistrel {

namespace {

using namespace cache_sql;

}  // namespace

SignatureCache::Stats SignatureCache::Impl::GetStats() {
    Flush();
    const std::lock_guard lock(mutex);
    Stats stats;
    if (db == nullptr) {
        return stats;
    }
    EndRead();  // the counts of now
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
    stats.bytesOnDisk = DiskBytesOf(CacheFiles(path));
    return stats;
}

std::int64_t SignatureCache::Impl::Prune() {
    Flush();
    struct Entry {
        FileKey key;
        std::uint64_t digest = 0;
    };
    std::vector<Entry> entries;
    {
        const std::lock_guard lock(mutex);
        if (db == nullptr) {
            return 0;
        }
        EndRead();  // the entries of now
        int code = SQLITE_OK;
        const Statement all = Prepare(db.get(),
                                      "SELECT device, inode, size, modified_ns, changed_ns, "
                                      "digest, path FROM signatures",
                                      code);
        while (code == SQLITE_OK && sqlite3_step(all.get()) == SQLITE_ROW) {
            Entry entry;
            entry.key.device = static_cast<std::uint64_t>(sqlite3_column_int64(all.get(), 0));
            entry.key.inode = static_cast<std::uint64_t>(sqlite3_column_int64(all.get(), 1));
            entry.key.size = sqlite3_column_int64(all.get(), 2);
            entry.key.modifiedNs = sqlite3_column_int64(all.get(), 3);
            entry.key.changedNs = sqlite3_column_int64(all.get(), 4);
            entry.digest = static_cast<std::uint64_t>(sqlite3_column_int64(all.get(), 5));
            const auto* name = static_cast<const char*>(sqlite3_column_blob(all.get(), 6));
            entry.key.path = QFile::decodeName(
                QByteArray(name, name != nullptr ? sqlite3_column_bytes(all.get(), 6) : 0));
            entries.push_back(std::move(entry));
        }
    }
    // The files are looked at without the lock: reading those whose change time moved takes a
    // while.
    std::vector<Entry> gone;
    for (Entry& entry : entries) {
        const std::optional<FileKey> now = KeyOf(entry.key.path);
        bool holds = now && now->device == entry.key.device && now->inode == entry.key.inode &&
                     now->size == entry.key.size && now->modifiedNs == entry.key.modifiedNs;
        if (holds && now->changedNs != entry.key.changedNs) {
            holds = DigestFile(entry.key.path) == entry.digest && KeyOf(entry.key.path) == now;
        }
        if (!holds) {
            gone.push_back(std::move(entry));
        }
    }
    if (gone.empty()) {
        return 0;
    }
    const std::lock_guard lock(mutex);
    if (db == nullptr) {
        return 0;
    }
    EndRead();  // a find may have begun one meanwhile, and the deletion needs its own
    int code = Execute(db.get(), "BEGIN IMMEDIATE");
    std::int64_t dropped = 0;
    if (code == SQLITE_OK) {
        // The whole entry: one another process stored meanwhile for new content stays.
        const Statement drop = Prepare(db.get(),
                                       "DELETE FROM signatures WHERE device = ?1 AND inode = ?2 "
                                       "AND size = ?3 AND modified_ns = ?4 AND changed_ns = ?5 "
                                       "AND digest = ?6",
                                       code);
        for (std::size_t i = 0; code == SQLITE_OK && i < gone.size(); ++i) {
            sqlite3_bind_int64(drop.get(), 1, AsStored(gone[i].key.device));
            sqlite3_bind_int64(drop.get(), 2, AsStored(gone[i].key.inode));
            sqlite3_bind_int64(drop.get(), 3, gone[i].key.size);
            sqlite3_bind_int64(drop.get(), 4, gone[i].key.modifiedNs);
            sqlite3_bind_int64(drop.get(), 5, gone[i].key.changedNs);
            sqlite3_bind_int64(drop.get(), 6, AsStored(gone[i].digest));
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

bool SignatureCache::Impl::Clear() {
    const std::lock_guard lock(mutex);
    pending.clear();
    EndRead();  // the deletion needs a transaction of its own
    if (db == nullptr || Execute(db.get(), "DELETE FROM signatures") != SQLITE_OK) {
        return false;
    }
    // Give the space back: VACUUM needs room for what is left (nothing) in the log, the
    // checkpoint then moves it into the database and cuts the log to nothing. Another process
    // reading at this moment keeps the log; its own close cuts it.
    const bool vacuumed = Execute(db.get(), "VACUUM") == SQLITE_OK;
    Execute(db.get(), "PRAGMA wal_checkpoint(TRUNCATE)");
    return vacuumed;
}

}  // namespace vistrel
