#pragma once

// Sizes of the tests that check a run against a plain walk over every pair. Under
// ThreadSanitizer every memory access of that walk is checked, so the sanitizer pass sets
// VISTREL_TEST_SMALL=1 and the walks shrink to a few dozen entries; what they check is the same.

#include <QtGlobal>

namespace vistrel::test {

/// True when VISTREL_TEST_SMALL is set to a number other than 0.
inline bool SmallTestSizes() {
    static const bool small = qEnvironmentVariableIntValue("VISTREL_TEST_SMALL") != 0;
    return small;
}

/// `full` normally, `small` when the tests are asked to be small.
inline int TestSize(int full, int small) {
    return SmallTestSizes() ? small : full;
}

}  // namespace vistrel::test
