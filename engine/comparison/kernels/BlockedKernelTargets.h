#pragma once

// The SIMD blocked kernels, each compiled for its own instruction set.

#include "BlockedKernel.h"

namespace vistrel {

const BlockedKernel* Avx2BlockedKernel();
const BlockedKernel* AvxVnniBlockedKernel();
const BlockedKernel* VnniBlockedKernel();  // AVX-512 with VNNI and VBMI

/// The AVX2 layout of signatures in planes, which the AVX-VNNI kernel shares.
void ToPlanesAvx2(const std::uint8_t* rgb, std::size_t pixels, bool shapeOnly, std::uint8_t* planes,
                  SignaturePlanes& out);

}  // namespace vistrel
