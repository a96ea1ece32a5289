#pragma once

#include <cstddef>
#include <vector>

namespace vistrel {

/// The instruction sets the comparison's kernels are written for, from the least to the most
/// capable: AVX-VNNI is AVX2 with its VEX-coded dot products, AVX-512 is F and BW (with or
/// without its own VNNI). Every kernel is for one of them; a process uses at most one level.
enum class SimdLevel { kScalar, kAvx2, kAvxVnni, kAvx512 };
constexpr std::size_t kSimdLevels = 4;

/// The name of `level` as VISTREL_SIMD takes it: "scalar", "avx2", "avxvnni", "avx512".
const char* SimdLevelName(SimdLevel level);

/// Whether this processor can run the kernels written for `level`.
bool ProcessorHas(SimdLevel level);

/// The levels this processor can run, scalar first.
std::vector<SimdLevel> AvailableSimdLevels();

/// The most capable level every kernel of this process may use: the best the processor has, or
/// the lower one the environment asks for: VISTREL_SIMD=scalar|avx2|avxvnni|avx512, or
/// VISTREL_NOVECTOR (scalar). An unknown name, or a level the processor lacks, gives the best it
/// has, with one warning (qWarning, so on standard error unless a handler takes it). Read once
/// per process; any thread.
SimdLevel ActiveSimdLevel();

/// For tests: makes ActiveSimdLevel answer `level`, which the processor must have, while it
/// lives, so that every kernel can be checked in one process. Not while a comparison runs.
class ScopedSimdLevel {
public:
    explicit ScopedSimdLevel(SimdLevel level);
    ~ScopedSimdLevel();
    ScopedSimdLevel(const ScopedSimdLevel&) = delete;
    ScopedSimdLevel& operator=(const ScopedSimdLevel&) = delete;

private:
    int previous;
};

}  // namespace vistrel
