#pragma once

#include "comparison/kernels/PairInfo.h"

#include <vector>

namespace vistrel {

class CPictureRepository;

/// The similar pairs that `repository`'s links record, as result records: one per pair, the
/// earlier entry as A, by A and then B in repository order; the factor is the link's (whole
/// numbers: links keep factors truncated) and the orientation turns B to look like A. The
/// repository's thread.
std::vector<PairInfo> LinkedPairs(const CPictureRepository& repository);

}  // namespace vistrel
