#include "SimdLevel.h"

#include <QtGlobal>

#include <atomic>
#include <cstdlib>
#include <string_view>

#include <cpuid.h>

namespace vistrel {

namespace {

constexpr const char* kNames[kSimdLevels] = {"scalar", "avx2", "avxvnni", "avx512"};

// The level a test has forced, or -1.
std::atomic<int> forcedLevel{-1};

// AVX-VNNI: CPUID leaf 7, subleaf 1, EAX bit 4, read here because not every compiler's
// __builtin_cpu_supports knows the name (Clang 14 does not). Asked only together with
// __builtin_cpu_supports("avx2"), which checks that the system saves the AVX registers.
bool HasAvxVnniInstructions() {
    unsigned eax = 0;
    unsigned ebx = 0;
    unsigned ecx = 0;
    unsigned edx = 0;
    constexpr unsigned kAvxVnniBit = 1u << 4;
    return __get_cpuid_count(7, 1, &eax, &ebx, &ecx, &edx) != 0 && (eax & kAvxVnniBit) != 0;
}

SimdLevel BestLevel() {
    SimdLevel best = SimdLevel::kScalar;
    for (const SimdLevel level : AvailableSimdLevels()) {
        best = level;
    }
    return best;
}

SimdLevel LevelFromEnvironment() {
    if (std::getenv("VISTREL_NOVECTOR") != nullptr) {
        return SimdLevel::kScalar;
    }
    const char* asked = std::getenv("VISTREL_SIMD");
    if (asked == nullptr || *asked == '\0') {
        return BestLevel();
    }
    for (std::size_t i = 0; i < kSimdLevels; ++i) {
        if (std::string_view(asked) != kNames[i]) {
            continue;
        }
        const auto level = static_cast<SimdLevel>(i);
        if (ProcessorHas(level)) {
            return level;
        }
        qWarning("VISTREL_SIMD=%s: this processor lacks it; using %s", asked,
                 SimdLevelName(BestLevel()));
        return BestLevel();
    }
    qWarning("VISTREL_SIMD=%s is none of scalar, avx2, avxvnni, avx512; using %s", asked,
             SimdLevelName(BestLevel()));
    return BestLevel();
}

}  // namespace

const char* SimdLevelName(SimdLevel level) {
    return kNames[static_cast<std::size_t>(level)];
}

bool ProcessorHas(SimdLevel level) {
    switch (level) {
        case SimdLevel::kScalar:
            return true;
        case SimdLevel::kAvx2:
            return __builtin_cpu_supports("avx2");
        case SimdLevel::kAvxVnni:
            return __builtin_cpu_supports("avx2") && HasAvxVnniInstructions();
        case SimdLevel::kAvx512:
            return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("avx512f") &&
                   __builtin_cpu_supports("avx512bw");
    }
    return false;
}

std::vector<SimdLevel> AvailableSimdLevels() {
    std::vector<SimdLevel> levels;
    for (std::size_t i = 0; i < kSimdLevels; ++i) {
        if (ProcessorHas(static_cast<SimdLevel>(i))) {
            levels.push_back(static_cast<SimdLevel>(i));
        }
    }
    return levels;
}

SimdLevel ActiveSimdLevel() {
    const int forced = forcedLevel.load(std::memory_order_relaxed);
    if (forced >= 0) {
        return static_cast<SimdLevel>(forced);
    }
    static const SimdLevel chosen = LevelFromEnvironment();
    return chosen;
}

ScopedSimdLevel::ScopedSimdLevel(SimdLevel level)
    : previous(forcedLevel.exchange(static_cast<int>(level))) {}

ScopedSimdLevel::~ScopedSimdLevel() {
    forcedLevel.store(previous);
}

}  // namespace vistrel
