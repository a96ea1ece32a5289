#pragma once

// Tests run once per kernel the build has, each named after its kernel; a kernel this processor
// cannot run is reported skipped, with the reason, rather than left out unseen.

#include "comparison/kernels/BlockedKernelTargets.h"
#include "comparison/kernels/DifferenceKernelTargets.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace vistrel::test {

/// Every blocked kernel of the build, the scalar one first, whether or not this processor can
/// run it.
inline std::vector<const BlockedKernel*> BuiltBlockedKernels() {
    return {&ScalarBlockedKernel(), Avx2BlockedKernel(), AvxVnniBlockedKernel(),
            VnniBlockedKernel()};
}

/// The SIMD blocked kernels of the build.
inline std::vector<const BlockedKernel*> BuiltVectorBlockedKernels() {
    auto kernels = BuiltBlockedKernels();
    kernels.erase(kernels.begin());
    return kernels;
}

/// The SIMD difference kernels of the build; null where it has none for a level.
inline std::vector<const DifferenceKernel*> BuiltVectorDifferenceKernels() {
    return {Avx2Kernel(), Avx512Kernel()};
}

inline bool Runnable(const BlockedKernel* kernel) {
    const auto available = AvailableBlockedKernels();
    return std::find(available.begin(), available.end(), kernel) != available.end();
}

inline bool Runnable(const DifferenceKernel* kernel) {
    const auto available = AvailableKernels();
    return std::find(available.begin(), available.end(), kernel) != available.end();
}

/// A fixture whose test is run for each kernel it is instantiated with (with KernelNames), and
/// skipped, saying why, where this processor lacks the kernel's instructions.
template <class Kernel>
class EveryKernel : public testing::TestWithParam<const Kernel*> {
protected:
    void SetUp() override {
        const Kernel* kernel = this->GetParam();
        if (kernel == nullptr) {
            GTEST_SKIP() << "this build has no kernel for this instruction set";
        }
        if (!Runnable(kernel)) {
            GTEST_SKIP() << "this processor lacks the instructions of the " << kernel->name
                         << " kernel";
        }
    }
    const Kernel& kernel() const { return *this->GetParam(); }
};

/// Names the instances of an EveryKernel test after their kernels ("avx-vnni" as avx_vnni).
struct KernelNames {
    template <class Kernel>
    std::string operator()(const testing::TestParamInfo<const Kernel*>& info) const {
        if (info.param == nullptr) {
            return "none" + std::to_string(info.index);
        }
        std::string name = info.param->name;
        std::replace(name.begin(), name.end(), '-', '_');
        return name;
    }
};

}  // namespace vistrel::test
