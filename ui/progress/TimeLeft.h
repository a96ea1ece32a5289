#pragma once

#include <QString>

#include <cstdint>
#include <optional>

namespace vistrel {

/// The seconds `total - done` items still need at the rate kept over `elapsedSeconds`, once
/// that rate means something (a few seconds in, and a few percent done or ten seconds gone);
/// nothing before, and nothing while the total is not known (0). Any thread.
std::optional<double> SecondsLeft(std::uint64_t done, std::uint64_t total, double elapsedSeconds);

/// "a few seconds", "about 25 seconds", "about 3 minutes", "about 2 h 15 min": a time left
/// rounded as far as such an estimate deserves. GUI thread (translated texts).
QString TimeLeftText(double seconds);

}  // namespace vistrel
