#include "CacheFolder.h"
#include "FileDigest.h"
#include "SignatureCache.h"
#include "SignatureCacheImpl.h"

#include <QFile>

#include <algorithm>
#include <string>
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
    std::int64_t dropped = 0;
    sqlite3_int64 after = 0;  // the rowid the pass has come to
    for (;;) {
        std::vector<Checked> rows = ReadRows(after);
        if (rows.empty()) {
            return dropped;
        }
        after = rows.back().rowid;
        // The files are looked at without the lock: reading those whose change time moved
        // takes a while.
        for (Checked& row : rows) {
            Check(row);
        }
        const std::optional<std::int64_t> done = ApplyChecks(rows);
        if (!done) {
            return dropped;
        }
        dropped += *done;
    }
}

std::vector<SignatureCache::Impl::Checked> SignatureCache::Impl::ReadRows(sqlite3_int64 after) {
    std::vector<Checked> rows;
    const std::lock_guard lock(mutex);
    if (db == nullptr) {
        return rows;
    }
    EndRead();
    int code = SQLITE_OK;
    // By rowid, so that each step starts where the last ended, whatever was deleted meanwhile.
    const Statement read = Prepare(db.get(),
                                   "SELECT rowid, device, inode, size, modified_ns, changed_ns, "
                                   "digest, path FROM signatures WHERE rowid > ?1 "
                                   "ORDER BY rowid LIMIT ?2",
                                   code);
    if (code != SQLITE_OK) {
        return rows;
    }
    sqlite3_bind_int64(read.get(), 1, after);
    sqlite3_bind_int(read.get(), 2, kPruneRows);
    rows.reserve(kPruneRows);
    while (sqlite3_step(read.get()) == SQLITE_ROW) {
        sqlite3_stmt* const row = read.get();
        Checked entry;
        entry.rowid = sqlite3_column_int64(row, 0);
        entry.key.device = static_cast<std::uint64_t>(sqlite3_column_int64(row, 1));
        entry.key.inode = static_cast<std::uint64_t>(sqlite3_column_int64(row, 2));
        entry.key.size = sqlite3_column_int64(row, 3);
        entry.key.modifiedNs = sqlite3_column_int64(row, 4);
        entry.key.changedNs = sqlite3_column_int64(row, 5);
        entry.digest = static_cast<std::uint64_t>(sqlite3_column_int64(row, 6));
        const auto* name = static_cast<const char*>(sqlite3_column_blob(row, 7));
        entry.key.path =
            QFile::decodeName(QByteArray(name, name != nullptr ? sqlite3_column_bytes(row, 7) : 0));
        rows.push_back(std::move(entry));
    }
    return rows;
}

void SignatureCache::Impl::Check(Checked& row) {
    const std::optional<FileKey> now = KeyOf(row.key.path);
    const bool same = now && now->device == row.key.device && now->inode == row.key.inode &&
                      now->size == row.key.size && now->modifiedNs == row.key.modifiedNs;
    if (same && now->changedNs == row.key.changedNs) {
        row.verdict = Checked::Verdict::Holds;
    } else if (same && DigestFile(row.key.path) == row.digest && KeyOf(row.key.path) == now) {
        // As Find does: the entry takes the new change time, so that the file is not read again.
        row.verdict = Checked::Verdict::Moved;
        row.changedNowNs = now->changedNs;
    } else {
        row.verdict = Checked::Verdict::Gone;
    }
}

std::optional<std::int64_t> SignatureCache::Impl::ApplyChecks(const std::vector<Checked>& rows) {
    const bool anything = std::any_of(rows.begin(), rows.end(), [](const Checked& row) {
        return row.verdict != Checked::Verdict::Holds;
    });
    if (!anything) {
        return 0;
    }
    const std::lock_guard lock(mutex);
    if (db == nullptr) {
        return std::nullopt;
    }
    EndRead();
    int code = Execute(db.get(), "BEGIN IMMEDIATE");
    // The whole entry: one stored meanwhile for new content stays.
    const char* const match =
        "device = ?1 AND inode = ?2 AND size = ?3 AND modified_ns = ?4 AND changed_ns = ?5 AND "
        "digest = ?6";
    const Statement drop =
        code == SQLITE_OK
            ? Prepare(db.get(), (std::string("DELETE FROM signatures WHERE ") + match).c_str(),
                      code)
            : Statement();
    const Statement renew =
        code == SQLITE_OK
            ? Prepare(db.get(),
                      (std::string("UPDATE signatures SET changed_ns = ?7 WHERE ") + match).c_str(),
                      code)
            : Statement();
    std::int64_t dropped = 0;
    for (std::size_t i = 0; code == SQLITE_OK && i < rows.size(); ++i) {
        const Checked& row = rows[i];
        if (row.verdict == Checked::Verdict::Holds) {
            continue;
        }
        sqlite3_stmt* const change =
            row.verdict == Checked::Verdict::Gone ? drop.get() : renew.get();
        sqlite3_bind_int64(change, 1, AsStored(row.key.device));
        sqlite3_bind_int64(change, 2, AsStored(row.key.inode));
        sqlite3_bind_int64(change, 3, row.key.size);
        sqlite3_bind_int64(change, 4, row.key.modifiedNs);
        sqlite3_bind_int64(change, 5, row.key.changedNs);
        sqlite3_bind_int64(change, 6, AsStored(row.digest));
        if (row.verdict == Checked::Verdict::Moved) {
            sqlite3_bind_int64(change, 7, row.changedNowNs);
        }
        code = sqlite3_step(change);
        code = code == SQLITE_DONE ? SQLITE_OK : code;
        if (row.verdict == Checked::Verdict::Gone) {
            dropped += sqlite3_changes(db.get());
        }
        sqlite3_reset(change);
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
        return std::nullopt;
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
