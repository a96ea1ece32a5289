#pragma once

// Runs the built vistrel-cli as a user would, with its own settings folder.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>

class QProcess;

namespace vistrel::test {

/// What one run of the program gave.
struct CliResult {
    int status = -1;  ///< exit status; -1 when it crashed or did not end in time
    QByteArray out;
    QByteArray err;

    /// Standard error split into lines, without the empty tail.
    QStringList ErrLines() const;
    /// Standard output split into lines, without the empty tail.
    QStringList OutLines() const;
};

/// `value` as the C library's printf writes it with "%.3f" in the C locale (ties to even).
QString PrintfFactor(double value);

/// Runs vistrel-cli with `arguments`, XDG_CONFIG_HOME and HOME set to `configHome`,
/// XDG_CACHE_HOME to its folder "cache" (see CacheHome) and XDG_DATA_HOME to its folder
/// ".local/share", and the "NAME=value" entries of
/// `environment`, standard input closed; gives up after a minute.
CliResult RunCli(const QStringList& arguments, const QString& configHome,
                 const QStringList& environment = {});

/// Starts vistrel-cli as RunCli does, without waiting for it; null when it cannot be started.
std::unique_ptr<QProcess> StartCli(const QStringList& arguments, const QString& configHome,
                                   const QStringList& environment = {});

/// Waits for a run StartCli started, at most a minute.
CliResult FinishCli(QProcess& process);

/// The XDG_CACHE_HOME of a run with `configHome`: never the user's own cache.
QString CacheHome(const QString& configHome);

}  // namespace vistrel::test
