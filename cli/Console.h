#pragma once

#include "ProgressLine.h"

#include <QElapsedTimer>
#include <QString>

#include <cstdio>
#include <mutex>

namespace vistrel::cli {

/// Standard error of vistrel-cli: a progress line redrawn in place (only on a terminal), the
/// summary, warnings and errors. Messages first erase the progress line so they stay readable.
/// Any thread may call it: Qt's warnings arrive on whichever thread raised them, such as the
/// repository loader's, while the main thread draws the progress line.
class Console {
public:
    /// `quiet`: only warnings and errors. The progress line needs standard error to be a
    /// terminal.
    explicit Console(bool quiet);
    /// Writes to `stream` instead; `terminal` says whether the progress line may be drawn there.
    Console(bool quiet, std::FILE* stream, bool terminal);

    /// Redraws the progress line, at most ten times a second unless `force`.
    void Progress(const ProgressState& state, bool force = false);
    /// Erases the progress line, if one is shown.
    void EndProgress();

    /// "vistrel-cli: warning: TEXT"
    void Warning(const QString& text);
    /// "vistrel-cli: TEXT": the one line that says why the command failed.
    void Error(const QString& text);
    /// A line of information such as the summary; nothing when quiet.
    void Info(const QString& text);

private:
    void WriteLine(const QString& text);
    void EndProgressLocked();

    /// Held for each whole write, so that a message never lands between the progress line and
    /// its erasure, and for the state below.
    std::mutex mutex;

    std::FILE* stream;
    bool quiet;
    bool showProgress;
    bool progressShown = false;
    QElapsedTimer sinceDrawn;
};

}  // namespace vistrel::cli
