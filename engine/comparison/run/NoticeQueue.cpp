#include "NoticeQueue.h"

#include <utility>

namespace vistrel {

void NoticeQueue::SetWakeHandler(std::function<void()> handler) {
    const std::lock_guard lock(mutex);
    wakeHandler = std::move(handler);
}

void NoticeQueue::Post(ComparisonNotice notice) {
    const std::lock_guard lock(mutex);
    if (closed) {
        return;
    }
    const bool wasEmpty = waiting.empty();
    waiting.push_back(std::move(notice));
    if (wasEmpty) {
        arrived.notify_all();
        // Under the lock, so that Close() cannot return while a wake-up is on its way.
        if (wakeHandler) {
            wakeHandler();
        }
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
        wakeHandler = nullptr;
        dropped.swap(waiting);
    }
}

}  // namespace vistrel
