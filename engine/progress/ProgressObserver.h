#pragma once

#include <QString>

#include <cstdint>

namespace vistrel {

/// How far a piece of long work has come. Scans, signatures, Open, similarity runs and trash
/// moves all report in this one shape.
struct ProgressReport {
    std::uint64_t done = 0;   ///< items finished
    std::uint64_t total = 0;  ///< items in all; 0 while the work does not know yet
    QString item;             ///< the item at hand (a path), empty when there is none to show
    /// Items found so far by work that finds them as it goes (a folder walk): `total` is 0
    /// until the finding has ended, then equal to this. 0 for work that knows its total.
    std::uint64_t found = 0;
};

/// Whoever waits for long work: told how far it has come, asked whether it should stop. The
/// work calls both from its own threads, so an implementation must be thread-safe and quick; a
/// window gets the reports on its own thread through a ProgressRelay.
class ProgressObserver {
public:
    virtual ~ProgressObserver() = default;

    /// The work has come this far. Any thread the work runs on; reports may come often.
    virtual void Report(const ProgressReport& report) = 0;

    /// True once the work should end early; the work asks between items. Any thread.
    virtual bool StopRequested() const { return false; }
};

}  // namespace vistrel
