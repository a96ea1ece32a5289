#pragma once

#include <QDateTime>
#include <QSize>

#include <cstdint>

namespace vistrel {

/// What the picture tree's columns show of a file: its size in pixels (from the header), its
/// length and its modification time.
struct ShownFacts {
    /// False when nothing is at the path.
    bool exists = false;
    /// Invalid when the header cannot be read.
    QSize size;
    std::int64_t bytes = 0;
    QDateTime modified;
    /// `modified` in milliseconds since 1970 UTC, for sorting: converting a local time costs
    /// a time zone look-up each time.
    std::int64_t modifiedMs = 0;
};

}  // namespace vistrel
