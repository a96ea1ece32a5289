#pragma once

#include "ThreadParams.h"

namespace vistrel {

/// The routine of one comparison thread: takes spans of the run's pairs until none is left,
/// compares each pair whose two signatures exist and that the run's scope keeps (never handing
/// the others to the decision), and posts one notice per span with the span's similar pairs and
/// counts, then a "finished" notice. The stop flag is tested after every compared pair; a
/// stop ends the span early (its notice then says so). Returns 0. Runs on its own thread; reads
/// only its block and the signatures the block holds.
int ComparisonWorker(const ThreadParams& block);

}  // namespace vistrel
