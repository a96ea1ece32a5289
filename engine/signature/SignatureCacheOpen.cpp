#include "PrivateDatabase.h"
#include "SignatureCache.h"
#include "SignatureCacheImpl.h"

#include <string>
#include <utility>

// Opening the cache's database: its marker and its tables (the checks of its place and setting a
// damaged one aside are OpenPrivateDatabase's).

namespace vistrel {

namespace {

using namespace cache_sql;

}  // namespace

bool SignatureCache::Impl::OpenDatabase() {
    problem.clear();
    PrivateDatabase opened = OpenPrivateDatabase(
        path,
        [this](sqlite3* handle, bool& foreign) {
            int code = ClaimDatabase(handle, foreign);
            if (foreign) {
                return code;
            }
            // The write-ahead log lets the window and vistrel-cli read while the other writes.
            // A commit waits for no disk flush; a crash can lose the last batches but never
            // damages the file.
            if (code == SQLITE_OK) {
                code = Execute(handle, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL");
            }
            if (code == SQLITE_OK) {
                Execute(handle, kLogLimit);
                code = PrepareTables(handle);
            }
            return code;
        },
        QStringLiteral("it holds a database that is not Vistrel's"));
    resolvedPath = opened.resolvedPath;
    if (opened.db == nullptr) {
        if (opened.refused) {
            Refuse(opened.reason);
        } else {
            Fail(opened.reason);
        }
        return false;
    }
    db = std::move(opened.db);
    this->opened = KeyOf(path);
    return true;
}

int SignatureCache::Impl::ClaimDatabase(sqlite3* handle, bool& foreign) {
    foreign = false;
    int code = Execute(handle, "BEGIN IMMEDIATE");
    int id = 0;
    if (code == SQLITE_OK) {
        const Statement read = Prepare(handle, "PRAGMA application_id", code);
        if (code == SQLITE_OK && (code = sqlite3_step(read.get())) == SQLITE_ROW) {
            id = sqlite3_column_int(read.get(), 0);
            code = SQLITE_OK;
        }
    }
    if (code == SQLITE_OK && id != kApplicationId) {
        // Empty, or this cache's own from before it had the id: the tables it made then and
        // nothing else (with their indexes), and its version row.
        std::int64_t others = -1;
        const Statement count = Prepare(handle,
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
                handle,
                "SELECT (SELECT count(*) FROM meta WHERE name = 'algorithm_version'), "
                "(SELECT count(*) FROM (SELECT device, inode, size, modified_ns, side, path, "
                "stored_ns, signature FROM signatures LIMIT 0))",
                probe);
            ours = probe == SQLITE_OK && sqlite3_step(earlier.get()) == SQLITE_ROW &&
                   sqlite3_column_int(earlier.get(), 0) == 1;
        }
        if (code == SQLITE_OK && !ours) {
            foreign = true;
            Execute(handle, "ROLLBACK");
            return SQLITE_OK;
        }
        if (code == SQLITE_OK) {
            const std::string mark = "PRAGMA application_id=" + std::to_string(kApplicationId);
            code = Execute(handle, mark.c_str());
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

int SignatureCache::Impl::PrepareTables(sqlite3* handle) {
    // One process at a time makes the tables, or empties those of another version.
    int code = Execute(handle, "BEGIN IMMEDIATE");
    if (code == SQLITE_OK) {
        code = Execute(handle,
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
        const Statement read = Prepare(handle, select.c_str(), code);
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
        code = Execute(handle, "DROP TABLE IF EXISTS signatures");
        if (code == SQLITE_OK) {
            const std::string insert =
                "INSERT OR REPLACE INTO meta(name, value) VALUES('algorithm_version', " +
                std::to_string(kAlgorithmVersion) + "), ('schema_version', " +
                std::to_string(kSchemaVersion) + ")";
            code = Execute(handle, insert.c_str());
        }
    }
    if (code == SQLITE_OK) {
        // The signature stays the last column, so that reading the others never reads it.
        code = Execute(handle,
                       "CREATE TABLE IF NOT EXISTS signatures("
                       "device INTEGER NOT NULL, inode INTEGER NOT NULL, "
                       "size INTEGER NOT NULL, modified_ns INTEGER NOT NULL, "
                       "changed_ns INTEGER NOT NULL, digest INTEGER NOT NULL, "
                       "side INTEGER NOT NULL, path BLOB NOT NULL, stored_ns INTEGER NOT NULL, "
                       "signature BLOB, PRIMARY KEY(device, inode))");
    }
    if (code == SQLITE_OK) {
        code = Execute(handle, "COMMIT");
    }
    if (code != SQLITE_OK) {
        Execute(handle, "ROLLBACK");
    }
    return code;
}

}  // namespace vistrel
