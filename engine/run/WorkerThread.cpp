#include "WorkerThread.h"

namespace vistrel {

WorkerThread::WorkerThread(std::function<void()> routine) : exit(std::make_shared<Exit>()) {
    thread = std::thread([state = exit, work = std::move(routine)] {
        work();
        const std::lock_guard lock(state->mutex);
        state->done = true;
        state->ended.notify_all();
    });
}

WorkerThread::~WorkerThread() {
    if (thread.joinable()) {
        thread.join();
    }
}

bool WorkerThread::WaitUntil(std::chrono::steady_clock::time_point deadline) {
    if (!thread.joinable()) {
        return true;
    }
    bool done = false;
    {
        std::unique_lock lock(exit->mutex);
        done = exit->ended.wait_until(lock, deadline, [this] { return exit->done; });
    }
    if (done) {
        thread.join();
    } else {
        thread.detach();
    }
    return done;
}

}  // namespace vistrel
