#pragma once

#include "ThreadParams.h"

namespace vistrel {

/// The routine of one comparison thread: compares the pairs of `block` in order, posts one
/// notice per compared pair (with a result record when the pair is similar) and a final
/// "finished" notice, testing the stop flag after every pair. Pairs with a missing signature are
/// skipped without a notice. Returns 0. Runs on its own thread; reads only the block and the
/// signatures it points to.
int ComparisonWorker(const ThreadParams& block);

}  // namespace vistrel
