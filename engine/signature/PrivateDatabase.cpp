#include "PrivateDatabase.h"

#include "CacheFolder.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <utility>

namespace vistrel {

namespace {

// Opening again after setting a damaged file aside; more only when other processes keep
// replacing it at the same moment.
constexpr int kOpenAttempts = 3;

QString SystemReason(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

// Which file is at a path (links followed), to tell it from one another process put there.
struct FileNode {
    dev_t device = 0;
    ino_t inode = 0;
};

std::optional<FileNode> NodeOf(const QString& path) {
    struct stat status {};
    if (path.isEmpty() || stat(QFile::encodeName(path).constData(), &status) != 0) {
        return std::nullopt;
    }
    return FileNode{status.st_dev, status.st_ino};
}

// Opens the file once into `opened`; false with `damaged` set when it is not a sound database.
bool TryOpen(PrivateDatabase& opened, const QString& path,
             const std::function<int(sqlite3*, bool&)>& prepare, const QString& foreignReason,
             bool& damaged) {
    damaged = false;
    opened.reason.clear();
    // A planted or linked log could feed the database pages of someone else's.
    for (const QString& file : {opened.resolvedPath, opened.resolvedPath + QStringLiteral("-wal"),
                                opened.resolvedPath + QStringLiteral("-shm")}) {
        if (const QString reason = FileDistrust(file); !reason.isEmpty()) {
            opened.reason = reason;
            opened.refused = true;
            return false;
        }
    }
    // Made here rather than by SQLite, for its mode: the log and shared memory take the
    // database's, and no other user may read what this user keeps.
    const QByteArray name = QFile::encodeName(opened.resolvedPath);
    if (const int made =
            open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        made >= 0) {
        close(made);
    } else if (errno != EEXIST) {
        opened.reason = SystemReason(errno);
        return false;
    }
    sqlite3* handle = nullptr;
    int code = sqlite3_open_v2(name.constData(), &handle, sql::kOpenFlags, nullptr);
    // SQLite gives a handle even when the open fails, for its message.
    opened.db.reset(handle);
    if (code != SQLITE_OK) {
        opened.reason = sql::ErrorText(code, opened.db.get());
        opened.db.reset();
        return false;
    }
    if (sqlite3_db_readonly(opened.db.get(), "main") == 1) {
        const std::optional<VolumeSpace> space = SpaceOf(QFileInfo(path).absolutePath());
        opened.reason = SystemReason(space && space->readOnly ? EROFS : EACCES);
        opened.db.reset();
        return false;
    }
    sqlite3_busy_timeout(opened.db.get(), sql::kBusyMilliseconds);
    bool foreign = false;
    code = prepare(opened.db.get(), foreign);
    if (foreign) {
        opened.reason = foreignReason;
        opened.refused = true;
        opened.db.reset();
        return false;
    }
    if (code != SQLITE_OK) {
        damaged = sql::IsDamage(code);
        opened.reason = sql::ErrorText(code, opened.db.get());
        opened.db.reset();
        return false;
    }
    return true;
}

// Renames the damaged file (with its log) beside itself, unless another process already did and
// put a new one in its place. False, with the reason, when it could not.
bool SetAside(PrivateDatabase& opened, const QString& path, const std::optional<FileNode>& before) {
    opened.db.reset();
    const std::optional<FileNode> now = NodeOf(path);
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
    if (std::rename(QFile::encodeName(path).constData(), QFile::encodeName(aside).constData()) ==
        0) {
        opened.setAside << aside;
    } else if (errno != ENOENT) {
        opened.reason =
            QStringLiteral("it is damaged and cannot be set aside (%1)").arg(SystemReason(errno));
        return false;
    }
    // The log and shared memory of the damaged file must not be applied to the new one.
    for (const QLatin1String suffix : {QLatin1String("-wal"), QLatin1String("-shm")}) {
        std::rename(QFile::encodeName(path + suffix).constData(),
                    QFile::encodeName(aside + suffix).constData());
    }
    return true;
}

}  // namespace

void SqliteStatementFinalizer::operator()(sqlite3_stmt* statement) const {
    sqlite3_finalize(statement);
}

void SqliteCloser::operator()(sqlite3* handle) const {
    // The last connection checkpoints the log into the database and removes it.
    sqlite3_close_v2(handle);
}

QString sql::ErrorText(int code, sqlite3* handle) {
    const int primary = code & 0xff;
    if (handle != nullptr && (primary == SQLITE_IOERR || primary == SQLITE_FULL ||
                              primary == SQLITE_CANTOPEN || primary == SQLITE_READONLY)) {
        // "disk I/O error" says less than the system's own reason, such as a full disk.
        if (const int system = sqlite3_system_errno(handle); system != 0) {
            return SystemReason(system);
        }
    }
    if (primary == SQLITE_FULL) {
        return SystemReason(ENOSPC);
    }
    return QString::fromUtf8(handle != nullptr ? sqlite3_errmsg(handle) : sqlite3_errstr(code));
}

PrivateDatabase OpenPrivateDatabase(const QString& path,
                                    const std::function<int(sqlite3*, bool&)>& prepare,
                                    const QString& foreignReason) {
    PrivateDatabase opened;
    const QString folder = QFileInfo(path).absolutePath();
    if (const QString reason = MakePrivateFolder(folder); !reason.isEmpty()) {
        opened.reason = reason;
        return opened;
    }
    if (const QString reason = FolderDistrust(folder); !reason.isEmpty()) {
        opened.reason = reason;
        opened.refused = true;
        return opened;
    }
    const std::unique_ptr<char, decltype(&std::free)> resolvedFolder(
        realpath(QFile::encodeName(folder).constData(), nullptr), &std::free);
    if (resolvedFolder == nullptr) {
        opened.reason = SystemReason(errno);
        return opened;
    }
    opened.resolvedPath =
        QFile::decodeName(resolvedFolder.get()) + QLatin1Char('/') + QFileInfo(path).fileName();
    for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
        const std::optional<FileNode> before = NodeOf(path);
        bool damaged = false;
        if (TryOpen(opened, path, prepare, foreignReason, damaged)) {
            return opened;
        }
        if (!damaged || !SetAside(opened, path, before)) {
            return opened;
        }
    }
    opened.reason = QStringLiteral("it is damaged again each time it is made");
    return opened;
}

}  // namespace vistrel
