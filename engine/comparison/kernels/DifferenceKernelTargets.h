#pragma once

// The SIMD kernels, each compiled for its own instruction set. Null when the build has none.

#include "DifferenceKernel.h"

namespace vistrel {

const DifferenceKernel* Avx2Kernel();
const DifferenceKernel* Avx512Kernel();

}  // namespace vistrel
