#pragma once

// The SIMD totals filters, each compiled for its own instruction set.

#include "TotalsFilter.h"

namespace vistrel {

const TotalsFilter* Avx2TotalsFilter();
const TotalsFilter* Avx512TotalsFilter();

}  // namespace vistrel
