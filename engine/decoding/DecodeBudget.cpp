#include "DecodeBudget.h"

#include <algorithm>

namespace vistrel {

DecodeBudget::Share::~Share() {
    if (budget != nullptr) {
        budget->Release(bytes);
    }
}

DecodeBudget::Share DecodeBudget::Reserve(std::int64_t bytes) {
    bytes = std::clamp<std::int64_t>(bytes, 0, total);
    std::unique_lock lock(mutex);
    released.wait(lock, [&] { return running == 0 || held + bytes <= total; });
    ++running;
    held += bytes;
    return Share(this, bytes);
}

void DecodeBudget::Release(std::int64_t bytes) {
    {
        const std::lock_guard lock(mutex);
        --running;
        held -= bytes;
    }
    released.notify_all();
}

}  // namespace vistrel
