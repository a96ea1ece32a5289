#pragma once

#include "ComparisonNotice.h"
#include "NoticeQueue.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <utility>

namespace vistrel {

class CPictureRepository;

/// The receiving end of a comparison run: takes the workers' notices from the run's queue and
/// records the similar pairs as links, in the run's pair order whatever order the spans arrived
/// in. After a stop only the unbroken run of spans from the start counts, so the links are
/// exactly those of one worker walking the pairs in order up to the stop. GUI thread.
class ComparisonCollector {
public:
    /// Sees each similar pair as it is recorded, in the run's pair order, with its factor
    /// before the repository truncates it.
    using RecordObserver = std::function<void(const PairInfo&)>;

    ComparisonCollector(CPictureRepository& repository, std::shared_ptr<NoticeQueue> notices);

    /// Calls `observer` for every pair recorded from now on; an empty one stops the calls.
    void SetRecordObserver(RecordObserver observer) { recordObserver = std::move(observer); }

    /// Takes every waiting notice and records what can be recorded in order. Returns true once
    /// `workers` workers have reported that they finished.
    bool Collect(std::int32_t workers);

    /// Pairs walked so far by all workers, in any order: the run's progress.
    std::uint64_t PairsDone() const { return pairsDone; }
    /// Pairs, from the first in the run's order, whose links have been recorded.
    std::uint64_t PairsRecorded() const { return pairsRecorded; }
    std::int32_t WorkersFinished() const { return workersFinished; }

    /// Takes the last notices, then drops every later one: called once the run has stopped.
    void Close();

private:
    void Record(const ComparisonNotice& notice);

    CPictureRepository& repository;
    std::shared_ptr<NoticeQueue> notices;
    RecordObserver recordObserver;
    /// Spans that arrived before all spans ahead of them, by span number.
    std::map<std::uint64_t, ComparisonNotice> waiting;
    std::uint64_t nextSpan = 0;
    /// Set once a span that ended with a stop has been recorded: nothing after it counts.
    bool ended = false;
    std::uint64_t pairsDone = 0;
    std::uint64_t pairsRecorded = 0;
    std::int32_t workersFinished = 0;
};

}  // namespace vistrel
