#pragma once

#include <QString>
#include <QStringList>

namespace vistrel {

// The repository files opened or saved lately, most recent first, as File > Recent
// Repositories lists them. They are kept between runs in the settings store
// (LoadRecentRepositoryList). GUI thread.

/// How many files the list keeps.
inline constexpr int kRecentRepositoryLimit = 8;

/// `recent` with `path` first, any earlier mention of it dropped, cut to the limit.
QStringList RecentWith(QStringList recent, const QString& path);
/// The stored list: no empty names, no duplicates, at most the limit.
QStringList LoadRecentRepositories();
void StoreRecentRepositories(const QStringList& recent);
/// Puts `path` first in the stored list.
void AddRecentRepository(const QString& path);
/// Takes `path` out of the stored list.
void RemoveRecentRepository(const QString& path);

}  // namespace vistrel
