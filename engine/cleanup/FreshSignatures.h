#pragma once

#include "progress/ProgressObserver.h"
#include "signature/SignatureBytes.h"

#include <QString>

#include <optional>
#include <vector>

namespace vistrel {

/// The signatures of `paths` (side x side pixels), in their order, decoded afresh on one
/// thread per core and never taken from the signature cache: what a command that moves files
/// checks them by. Empty for a picture that cannot be read. `progress` is told after each file
/// and may stop the work, which then gives nothing. Any thread.
std::optional<std::vector<SignatureBytes>> SignFreshly(const std::vector<QString>& paths, int side,
                                                       ProgressObserver* progress = nullptr);

}  // namespace vistrel
