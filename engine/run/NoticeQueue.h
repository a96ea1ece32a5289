#pragma once

#include "ComparisonNotice.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

namespace vistrel {

/// Carries notices from worker threads to one receiving thread, in the order they were posted.
/// Shared by the receiver and its workers; once the receiver closes it, later notices are
/// dropped, so a worker that outlives its receiver can never reach it.
class NoticeQueue {
public:
    /// Appends a notice, unless the queue is closed. Any thread.
    void Post(ComparisonNotice notice);

    /// Removes and returns every waiting notice, oldest first. Receiver thread.
    std::vector<ComparisonNotice> TakeAll();

    /// Waits until a notice is waiting or the timeout passes; true when one is waiting.
    bool WaitForNotice(std::chrono::milliseconds timeout);

    /// Drops every waiting notice and every later one. Receiver thread.
    void Close();

private:
    std::mutex mutex;
    std::condition_variable arrived;
    std::vector<ComparisonNotice> waiting;
    bool closed = false;
};

}  // namespace vistrel
