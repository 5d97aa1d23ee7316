// Every kernel, written once over a vector-of-complex type. A kernel unit
// includes this inside its anonymous namespace, after kernel_unit.h, and
// instantiates the set for the vector types its instruction set offers.
#include "complex_vec.inl"
#include "butterflies.inl"
#include "codelets.inl"
#include "direct.inl"
#include "fft_pow2.inl"
#include "mixed_radix.inl"
#include "lane_copies.inl"
#include "kernel_set.inl"
