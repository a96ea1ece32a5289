#pragma once

// The SIMD blocked kernels, each compiled for its own instruction set.

#include "BlockedKernel.h"

namespace vistrel {

const BlockedKernel* VnniBlockedKernel();  // AVX-512 with VNNI and VBMI

}  // namespace vistrel
