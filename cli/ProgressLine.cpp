#include "ProgressLine.h"

#include <algorithm>
#include <cmath>

namespace vistrel::cli {

QString FormatDuration(double seconds) {
    if (!std::isfinite(seconds) || seconds < 0) {
        seconds = 0;
    }
    if (seconds < 60) {
        return QString::number(seconds, 'f', 1) + QStringLiteral(" s");
    }
    const auto whole = static_cast<long long>(seconds);
    const long long hours = whole / 3600;
    const long long minutes = whole / 60 % 60;
    const long long rest = whole % 60;
    const QString mmss = QStringLiteral("%1:%2").arg(minutes).arg(rest, 2, 10, QLatin1Char('0'));
    if (hours == 0) {
        return mmss;
    }
    return QStringLiteral("%1:%2:%3")
        .arg(hours)
        .arg(minutes, 2, 10, QLatin1Char('0'))
        .arg(rest, 2, 10, QLatin1Char('0'));
}

QString FormatProgressLine(const ProgressState& state, int width) {
    if (state.unit.isEmpty()) {
        QString line = state.phase + QStringLiteral(", ") + FormatDuration(state.seconds);
        return width > 0 ? line.left(width) : line;
    }
    const double rate = state.seconds > 0 ? state.done / state.seconds : 0.0;
    QString counts = QString::number(state.done);
    if (state.total > 0) {
        counts += QLatin1Char('/') + QString::number(state.total);
    }
    QString tail = QStringLiteral(" %1 %2, %3/s").arg(counts, state.unit).arg(std::llround(rate));
    if (state.total > 0) {
        if (rate > 0 && state.done <= state.total) {
            tail +=
                QStringLiteral(", %1 left").arg(FormatDuration((state.total - state.done) / rate));
        }
    } else {
        tail += QStringLiteral(", %1").arg(FormatDuration(state.seconds));
    }
    QString line = state.phase;
    if (state.total > 0) {
        const double fraction = std::clamp(
            static_cast<double>(state.done) / static_cast<double>(state.total), 0.0, 1.0);
        const int percent = static_cast<int>(fraction * 100);
        const int barWidth =
            std::clamp(width - static_cast<int>(line.size() + tail.size()) - 10, 0, 40);
        if (barWidth >= 5) {
            const int filled = static_cast<int>(fraction * barWidth);
            line += QStringLiteral(" [") + QString(filled, QLatin1Char('#')) +
                    QString(barWidth - filled, QLatin1Char('.')) + QLatin1Char(']');
        }
        line += QStringLiteral(" %1%").arg(percent, 3);
    }
    line += tail;
    if (line.size() > width && width > 0) {
        line.truncate(width);
    }
    return line;
}

}  // namespace vistrel::cli
