#include "Console.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>

namespace vistrel::cli {

namespace {

constexpr qint64 kRedrawMs = 100;

int TerminalWidth() {
    winsize size{};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) {
        return size.ws_col;
    }
    return 80;
}

}  // namespace

Console::Console(bool quiet) : quiet(quiet), showProgress(!quiet && isatty(STDERR_FILENO) == 1) {}

void Console::Progress(const ProgressState& state, bool force) {
    if (!showProgress) {
        return;
    }
    if (!force && sinceDrawn.isValid() && sinceDrawn.elapsed() < kRedrawMs) {
        return;
    }
    sinceDrawn.start();
    // One column short of the width: writing the last column would wrap on some terminals.
    const QByteArray text = FormatProgressLine(state, TerminalWidth() - 1).toLocal8Bit();
    std::fprintf(stderr, "\r%s\033[K", text.constData());
    std::fflush(stderr);
    progressShown = true;
}

void Console::EndProgress() {
    if (progressShown) {
        std::fputs("\r\033[K", stderr);
        std::fflush(stderr);
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
    const bool redraw = progressShown;
    EndProgress();
    QString line = text;
    // Paths may hold line breaks; a message stays one line all the same.
    line.replace(QLatin1Char('\n'), QLatin1Char(' '));
    std::fprintf(stderr, "vistrel-cli: %s\n", line.toLocal8Bit().constData());
    std::fflush(stderr);
    if (redraw) {
        sinceDrawn.invalidate();  // the next Progress call draws again at once
    }
}

}  // namespace vistrel::cli
