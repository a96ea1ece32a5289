#include "TimeLeft.h"

#include <QCoreApplication>

#include <algorithm>
#include <cmath>

namespace vistrel {

namespace {

// Before this the rate is mostly the start-up of the work (threads, the first folders).
constexpr double kFirstSeconds = 3.0;
// A rate over this share of the work, or over this long, says enough of the rest.
constexpr std::uint64_t kFirstShareDivisor = 50;  // 2 %
constexpr double kEnoughSeconds = 10.0;

QString Tr(const char* text) {
    return QCoreApplication::translate("vistrel::TimeLeft", text);
}

}  // namespace

std::optional<double> SecondsLeft(std::uint64_t done, std::uint64_t total, double elapsedSeconds) {
    if (total == 0 || done == 0 || done > total || !(elapsedSeconds >= kFirstSeconds)) {
        return std::nullopt;
    }
    if (done * kFirstShareDivisor < total && elapsedSeconds < kEnoughSeconds) {
        return std::nullopt;
    }
    const double rate = static_cast<double>(done) / elapsedSeconds;
    return static_cast<double>(total - done) / rate;
}

QString TimeLeftText(double seconds) {
    if (!std::isfinite(seconds) || seconds < 10) {
        return Tr("a few seconds");
    }
    if (seconds < 55) {
        // Up to the next five seconds: an estimate that runs out early reads worse than one
        // that runs out late.
        return Tr("about %1 seconds").arg(static_cast<int>(std::ceil(seconds / 5) * 5));
    }
    if (seconds < 3570) {
        const long long minutes = std::max(1LL, std::llround(seconds / 60));
        return minutes == 1 ? Tr("about 1 minute") : Tr("about %1 minutes").arg(minutes);
    }
    const long long fiveMinutes = std::llround(seconds / 300);
    const long long hours = fiveMinutes / 12;
    const long long minutes = fiveMinutes % 12 * 5;
    return minutes == 0 ? Tr("about %1 h").arg(hours)
                        : Tr("about %1 h %2 min").arg(hours).arg(minutes);
}

}  // namespace vistrel
