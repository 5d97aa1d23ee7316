// Descriptors configured as the registration object uses them: N1 x N2
// complex doubles, out of place, dense row-major strides.
#ifndef REGVIAFFT_TEST_DFT_PLANS_H
#define REGVIAFFT_TEST_DFT_PLANS_H

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "dft.h"

// Placement, strides of rows of n2 elements, commit: the sum of the statuses.
inline int32_t configureOutOfPlace(DFT_DESCRIPTOR_HANDLE h, int32_t n2)
{
    int32_t strides[3] = {0, n2, 1};
    return DftSetValue(h, DFT_PLACEMENT, DFT_NOT_INPLACE) + DftSetValue(h, DFT_INPUT_STRIDES, strides) +
           DftSetValue(h, DFT_OUTPUT_STRIDES, strides) + DftCommitDescriptor(h);
}

inline int32_t createOutOfPlace(DFT_DESCRIPTOR_HANDLE* h, int32_t n1, int32_t n2)
{
    int32_t lengths[2] = {n1, n2};
    int32_t status = DftCreateDescriptor_d_md(h, DFT_COMPLEX, 2, lengths);
    return status != 0 ? status : configureOutOfPlace(*h, n2);
}

// Deterministic, irregular test data.
inline std::vector<_DFT_Complex16> testSignal(size_t count, double seed)
{
    std::vector<_DFT_Complex16> x(count);
    for (size_t i = 0; i < count; ++i)
        x[i] = {std::sin(seed * (i + 1)) + 0.25, std::cos(seed * 1.7 * (i + 3))};
    return x;
}

inline bool sameBits(const std::vector<_DFT_Complex16>& a, const std::vector<_DFT_Complex16>& b)
{
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(a[0])) == 0;
}

#endif
