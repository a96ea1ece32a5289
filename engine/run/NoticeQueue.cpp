#include "NoticeQueue.h"

#include <utility>

namespace vistrel {

void NoticeQueue::Post(ComparisonNotice notice) {
    const std::lock_guard lock(mutex);
    if (closed) {
        return;
    }
    const bool wasEmpty = waiting.empty();
    waiting.push_back(std::move(notice));
    if (wasEmpty) {
        arrived.notify_all();
    }
}

std::vector<ComparisonNotice> NoticeQueue::TakeAll() {
    const std::lock_guard lock(mutex);
    return std::exchange(waiting, {});
}

bool NoticeQueue::WaitForNotice(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex);
    return arrived.wait_for(lock, timeout, [this] { return !waiting.empty(); });
}

void NoticeQueue::Close() {
    std::vector<ComparisonNotice> dropped;
    {
        const std::lock_guard lock(mutex);
        closed = true;
        dropped.swap(waiting);
    }
}

}  // namespace vistrel
