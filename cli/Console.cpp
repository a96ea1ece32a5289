#include "Console.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>

namespace vistrel::cli {

namespace {

constexpr qint64 kRedrawMs = 100;

int TerminalWidth(std::FILE* stream) {
    winsize size{};
    if (ioctl(fileno(stream), TIOCGWINSZ, &size) == 0 && size.ws_col > 0) {
        return size.ws_col;
    }
    return 80;
}

}  // namespace

Console::Console(bool quiet) : Console(quiet, stderr, isatty(STDERR_FILENO) == 1) {}

Console::Console(bool quiet, std::FILE* stream, bool terminal)
    : stream(stream), quiet(quiet), showProgress(!quiet && terminal) {}

void Console::Progress(const ProgressState& state, bool force) {
    if (!showProgress) {
        return;
    }
    const std::lock_guard lock(mutex);
    if (!force && sinceDrawn.isValid() && sinceDrawn.elapsed() < kRedrawMs) {
        return;
    }
    sinceDrawn.start();
    // One column short of the width: writing the last column would wrap on some terminals.
    const QByteArray text = FormatProgressLine(state, TerminalWidth(stream) - 1).toLocal8Bit();
    std::fprintf(stream, "\r%s\033[K", text.constData());
    std::fflush(stream);
    progressShown = true;
}

void Console::EndProgress() {
    const std::lock_guard lock(mutex);
    EndProgressLocked();
}

void Console::EndProgressLocked() {
    if (progressShown) {
        std::fputs("\r\033[K", stream);
        std::fflush(stream);
        progressShown = false;
    }
    sinceDrawn.invalidate();
}

void Console::Warning(const QString& text) {
    WriteLine(QStringLiteral("warning: ") + text);
}

void Console::Error(const QString& text) {
    WriteLine(text);
}

void Console::Info(const QString& text) {
    if (!quiet) {
        WriteLine(text);
    }
}

void Console::WriteLine(const QString& text) {
    QString line = text;
    // Paths may hold line breaks; a message stays one line all the same.
    line.replace(QLatin1Char('\n'), QLatin1Char(' '));
    const QByteArray bytes = line.toLocal8Bit();
    const std::lock_guard lock(mutex);
    EndProgressLocked();  // the next Progress call draws again at once
    std::fprintf(stream, "vistrel-cli: %s\n", bytes.constData());
    std::fflush(stream);
}

}  // namespace vistrel::cli
