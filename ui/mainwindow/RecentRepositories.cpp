#include "RecentRepositories.h"

#include "settings/SettingsStore.h"

namespace vistrel {

QStringList RecentWith(QStringList recent, const QString& path) {
    recent.removeAll(path);
    recent.prepend(path);
    return recent.mid(0, kRecentRepositoryLimit);
}

QStringList LoadRecentRepositories() {
    const QStringList stored = LoadRecentRepositoryList();
    // A value edited by hand may hold anything; the menu shows each file once.
    QStringList recent;
    for (const QString& path : stored) {
        if (!path.isEmpty() && !recent.contains(path) && recent.size() < kRecentRepositoryLimit) {
            recent.append(path);
        }
    }
    return recent;
}

void StoreRecentRepositories(const QStringList& recent) {
    SaveRecentRepositoryList(recent);
}

void AddRecentRepository(const QString& path) {
    StoreRecentRepositories(RecentWith(LoadRecentRepositories(), path));
}

void RemoveRecentRepository(const QString& path) {
    QStringList recent = LoadRecentRepositories();
    recent.removeAll(path);
    StoreRecentRepositories(recent);
}

}  // namespace vistrel
