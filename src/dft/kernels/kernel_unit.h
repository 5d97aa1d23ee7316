// What every kernel unit includes before kernels.inl: the system headers the
// kernels use (they must not be included inside the unit's namespace) and
// the table the unit exports.
#ifndef REGVIAFFT_DFT_KERNEL_UNIT_H
#define REGVIAFFT_DFT_KERNEL_UNIT_H

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <utility>

#if defined(__x86_64__) || defined(_M_X64)
#include <immintrin.h>
#endif

#include "kernel_set.h"

#endif
