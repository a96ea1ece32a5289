#pragma once

#include <atomic>

namespace vistrel {

/// A manual-reset flag that ends a run: set once by the thread that stops the run, tested
/// without waiting by any number of workers. Shared by the run and its workers, so a worker that
/// outlives its run still holds a valid flag.
class StopEvent {
public:
    void Set() { signalled.store(true, std::memory_order_release); }
    bool IsSet() const { return signalled.load(std::memory_order_acquire); }

private:
    std::atomic<bool> signalled{false};
};

}  // namespace vistrel
