#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace vistrel {

/// Memory (in bytes) that the decodings running at once may hold, shared by the threads that
/// decode through it, as the signature pipeline shares its own: a decoding waits until its
/// estimate (`EstimateDecodeBytes`) fits beside those running, or until none runs, so that one
/// larger than the whole budget runs alone. Any thread.
class DecodeBudget {
public:
    explicit DecodeBudget(std::int64_t bytes) : total(bytes) {}
    DecodeBudget(const DecodeBudget&) = delete;
    DecodeBudget& operator=(const DecodeBudget&) = delete;

    /// Holds its part of the budget until destroyed.
    class Share {
    public:
        Share(Share&& other) noexcept : budget(other.budget), bytes(other.bytes) {
            other.budget = nullptr;
        }
        Share(const Share&) = delete;
        Share& operator=(const Share&) = delete;
        Share& operator=(Share&&) = delete;
        ~Share();

    private:
        friend class DecodeBudget;
        Share(DecodeBudget* budget, std::int64_t bytes) : budget(budget), bytes(bytes) {}
        DecodeBudget* budget;
        std::int64_t bytes;
    };

    /// Waits until `bytes` fit, then holds them. The budget must outlive the share.
    [[nodiscard]] Share Reserve(std::int64_t bytes);

private:
    void Release(std::int64_t bytes);

    const std::int64_t total;
    std::mutex mutex;
    std::condition_variable released;
    std::int64_t held = 0;
    int running = 0;
};

}  // namespace vistrel
