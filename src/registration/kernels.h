// Pure helpers that the CRegViaFFT member operations delegate to, with
// pointer, stride and size signatures so that tests can call them directly.
#ifndef REGVIAFFT_REGISTRATION_KERNELS_H
#define REGVIAFFT_REGISTRATION_KERNELS_H

#include <cmath>
#include <cstddef>
#include <cstdint>

namespace regviafft {

// Nearest integer, ties to even, as the image library's cvRound does; relies
// on the default rounding mode, which the library never changes.
inline int roundHalfEven(double value)
{
    return static_cast<int>(std::lrint(value));
}

}  // namespace regviafft

#endif
