#include "Commands.h"
#include "Console.h"
#include "ExitStatus.h"
#include "signature/CacheFolder.h"
#include "signature/SignatureCache.h"

#include <QDateTime>
#include <QDir>

#include <algorithm>
#include <cstdio>

namespace vistrel::cli {

namespace {

void PrintLine(const QString& text) {
    std::fputs((text + QLatin1Char('\n')).toLocal8Bit().constData(), stdout);
}

QString SizeText(std::int64_t bytes) {
    const QString exact = QStringLiteral("%1 bytes").arg(bytes);
    if (bytes < 1024 * 1024) {
        return exact;
    }
    return QStringLiteral("%1 MB (%2)")
        .arg(static_cast<double>(bytes) / (1024.0 * 1024.0), 0, 'f', 1)
        .arg(exact);
}

QString DateText(std::int64_t nanoseconds) {
    if (nanoseconds == 0) {
        return QStringLiteral("none");
    }
    return QDateTime::fromMSecsSinceEpoch(nanoseconds / 1'000'000)
        .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

// Empties the cache and gives its space back. SQLite first, which is safe while other
// processes use the cache; when it cannot (a full disk, a file it cannot open), the files go,
// provided no other process has the database open. A place the cache refuses is left alone.
int ClearCache(Console& console) {
    const QString path = SignatureCache::DefaultPath();
    const std::int64_t before = DiskBytesOf(CacheFiles(path));
    bool emptied = false;
    QString problem;
    {
        SignatureCache cache(path);
        if (cache.IsRefused()) {
            console.Error(cache.Problem());
            return kExitUnreadable;
        }
        emptied = cache.IsOpen() && cache.Clear();
        problem = cache.Problem();
    }  // closed here, so that it no longer counts as a user of the files
    QString reason;
    if (!emptied && DatabaseInUse(path)) {
        reason = QStringLiteral("another Vistrel program has it open; close it and try again");
    } else {
        // The damaged databases set aside are nobody's and can take as much room.
        reason = RemoveCacheFiles(path, !emptied);
    }
    const std::int64_t freed = std::max<std::int64_t>(before - DiskBytesOf(CacheFiles(path)), 0);
    if (!reason.isEmpty()) {
        if (!problem.isEmpty()) {
            console.Error(problem);
        }
        console.Error(QStringLiteral("cannot clear the signature cache %1: %2 (%3 freed)")
                          .arg(QDir::toNativeSeparators(path), reason, SizeText(freed)));
        return kExitUnreadable;
    }
    console.Info(QStringLiteral("the signature cache is empty; %1 freed").arg(SizeText(freed)));
    return kExitSuccess;
}

}  // namespace

int RunCacheCommand(const CliOptions& options, Console& console) {
    if (options.cacheAction == CacheAction::Clear) {
        return ClearCache(console);
    }
    SignatureCache cache(SignatureCache::DefaultPath());
    if (!cache.IsOpen()) {
        console.Error(cache.Problem());
        return kExitUnreadable;
    }
    switch (options.cacheAction) {
        case CacheAction::Stats: {
            const SignatureCache::Stats stats = cache.GetStats();
            PrintLine(QStringLiteral("entries: %1").arg(stats.entries));
            PrintLine(QStringLiteral("unreadable: %1").arg(stats.unreadable));
            PrintLine(QStringLiteral("size on disk: %1").arg(SizeText(stats.bytesOnDisk)));
            PrintLine(QStringLiteral("oldest entry: %1").arg(DateText(stats.oldestStoredNs)));
            PrintLine(QStringLiteral("database: %1").arg(QDir::toNativeSeparators(cache.Path())));
            break;
        }
        case CacheAction::Prune:
            PrintLine(QStringLiteral("dropped: %1").arg(cache.Prune()));
            break;
        case CacheAction::Clear:
        case CacheAction::None:
            break;
    }
    // Pruning can meet a file the disk cannot write back.
    if (const QString problem = cache.Problem(); !problem.isEmpty()) {
        console.Error(problem);
        return kExitUnreadable;
    }
    return kExitSuccess;
}

}  // namespace vistrel::cli
