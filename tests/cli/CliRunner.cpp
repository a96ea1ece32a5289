#include "CliRunner.h"

#include <QProcess>
#include <QProcessEnvironment>

#include <clocale>
#include <cstdio>

namespace vistrel::test {

namespace {

QStringList Lines(const QByteArray& bytes) {
    QStringList lines = QString::fromUtf8(bytes).split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty()) {
        lines.removeLast();
    }
    return lines;
}

}  // namespace

QString PrintfFactor(double value) {
    // The application object took the user's locale; numbers are written the C way.
    std::setlocale(LC_NUMERIC, "C");
    char text[64];
    std::snprintf(text, sizeof text, "%.3f", value);
    return QString::fromLatin1(text);
}

QStringList CliResult::ErrLines() const {
    return Lines(err);
}

QStringList CliResult::OutLines() const {
    return Lines(out);
}

QString CacheHome(const QString& configHome) {
    return configHome + QStringLiteral("/cache");
}

std::unique_ptr<QProcess> StartCli(const QStringList& arguments, const QString& configHome,
                                   const QStringList& environment) {
    auto process = std::make_unique<QProcess>();
    QProcessEnvironment variables = QProcessEnvironment::systemEnvironment();
    variables.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome);
    variables.insert(QStringLiteral("XDG_CACHE_HOME"), CacheHome(configHome));
    // The marks of pairs and the trash: never the user's own either, wherever HOME is.
    variables.insert(QStringLiteral("XDG_DATA_HOME"), configHome + QStringLiteral("/.local/share"));
    variables.insert(QStringLiteral("HOME"), configHome);
    for (const QString& entry : environment) {
        const qsizetype equals = entry.indexOf(QLatin1Char('='));
        variables.insert(entry.left(equals), entry.mid(equals + 1));
    }
    process->setProcessEnvironment(variables);
    process->setInputChannelMode(QProcess::ManagedInputChannel);
    process->start(QStringLiteral(VISTREL_CLI_PATH), arguments);
    if (!process->waitForStarted(10000)) {
        return nullptr;
    }
    process->closeWriteChannel();
    return process;
}

CliResult FinishCli(QProcess& process) {
    CliResult result;
    // A run already seen to end has nothing more to wait for.
    if (process.state() != QProcess::NotRunning && !process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished(5000);
        return result;
    }
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    if (process.exitStatus() == QProcess::NormalExit) {
        result.status = process.exitCode();
    }
    return result;
}

CliResult RunCli(const QStringList& arguments, const QString& configHome,
                 const QStringList& environment) {
    const std::unique_ptr<QProcess> process = StartCli(arguments, configHome, environment);
    return process ? FinishCli(*process) : CliResult();
}

}  // namespace vistrel::test
