#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace vistrel {

/// A thread that can be waited for with a time limit, and abandoned when it does not end in
/// time: it then runs on, detached, on state it holds by shared ownership. Owned by one thread.
class WorkerThread {
public:
    /// Starts `routine` on a new thread; throws std::system_error when no thread can be made.
    explicit WorkerThread(std::function<void()> routine);
    WorkerThread(WorkerThread&&) noexcept = default;
    WorkerThread& operator=(WorkerThread&&) noexcept = default;
    /// Waits for the thread without a limit if it is still joined.
    ~WorkerThread();

    /// Waits until the thread has ended or `deadline` has passed. Returns true when it ended
    /// (it is then joined); false when it is still running (it is then abandoned).
    bool WaitUntil(std::chrono::steady_clock::time_point deadline);

private:
    struct Exit {
        std::mutex mutex;
        std::condition_variable ended;
        bool done = false;
    };
    std::shared_ptr<Exit> exit;
    std::thread thread;
};

}  // namespace vistrel
