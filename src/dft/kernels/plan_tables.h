// The tables each plan kind builds at plan time and its kernels read at
// compute time. Plain data: the plans fill them, every kernel unit reads
// them, and nothing here depends on an instruction set.
#ifndef REGVIAFFT_DFT_PLAN_TABLES_H
#define REGVIAFFT_DFT_PLAN_TABLES_H

#include <cstdint>

#include "complex16.h"

namespace regviafft::dft {

// A twiddle w in split form: (w.re, w.re) then (-w.im, w.im), so that a
// vector of complex numbers is rotated by w without shuffling w.
constexpr int64_t kSplitEntries = 2;

// ---- Power-of-two plans (N = 2^m, 5 <= m <= 26) --------------------------------------

constexpr int32_t kFftMinOrder = 5;          // 32 points: one codelet
constexpr int32_t kFftMaxOrder = 26;
constexpr int32_t kFftFirstSplitOrder = 12;  // from here the recursive split
constexpr int32_t kFftMaxLevels = 4;
constexpr int32_t kFftLargestTableOrder = 11;
constexpr int32_t kFftTileBits = 4;          // bit reversal moves tiles of 16 x 16
constexpr int32_t kFftLargestColumnCodelet = 5;
// Elements of gathered columns, P * G of them per lane: 64 KiB at one lane,
// which measured better than 32 or 128 KiB for large orders.
constexpr int64_t kFftColumnBufferElements = 4096;

struct FftPow2Tables {
    int32_t order;                           // m
    int32_t levelCount;                      // splits, outermost first
    int32_t levelOrder[kFftMaxLevels];       // order of the transform split at each level
    int32_t levelSplit[kFftMaxLevels];       // s: P = 2^s points per column at each level
    int64_t levelGroup[kFftMaxLevels];       // G: columns gathered together, P*G <= 4096
    // w_(PQ)^(j1*i) at [j1*G + i], j1 < P, i < G: the column twiddles within a group.
    const Complex* levelTwiddles[kFftMaxLevels];
    int32_t coreOrder;                       // order of the innermost blocks, 6 to 11
    int32_t tableOrder;                      // T: triples cover w = exp(-2*pi*i/2^T)
    int32_t tileBits;                        // g: the permutation moves 2^g x 2^g tiles
    int32_t blockOrder;                      // orders 6 to 11: log2 L = 4, else 0
    int32_t reversalBits;                    // width of the reversal table
    const uint32_t* reversal;                // bit reversal of reversalBits-bit numbers
    const Complex* twiddles;                 // split (w^k, w^2k, w^3k) for k = 0..2^T/4
    const double* quarterSines;              // orders >= 12: sin(2*pi*k/N), k = 0..N/4
};

// exp(-2*pi*i*t/n), n = 2^order, 0 <= t < n, from a table of sin(2*pi*k/n)
// for k = 0..n/4. Static: every kernel unit compiles its own copy for its
// own instruction set, and none is shared between units.
static inline Complex rootFromQuarter(const double* sines, int32_t order, int64_t t)
{
    const int64_t quarter = int64_t{1} << (order - 2);
    const int64_t r = t & (quarter - 1);
    const double s = sines[r];
    const double c = sines[quarter - r];
    switch (t >> (order - 2)) {
    case 0:
        return {c, -s};
    case 1:
        return {-s, -c};
    case 2:
        return {-c, s};
    default:
        return {s, c};
    }
}

// ---- Mixed-radix plans -----------------------------------------------------------------

constexpr int32_t kMaxRadixFactors = 64;
constexpr int32_t kMaxDirectLength = 75;     // also the largest mixed-radix factor

// A direct table of length n: exp(-2*pi*i*p*q/n) at [(p-1)*h + q-1] for
// p, q = 1..h, h = (n-1)/2, and rows of zeros after row h up to a multiple
// of kDirectRowBlock, so that the kernels always sum whole blocks of outputs
// in registers.
constexpr int64_t kDirectRowBlock = 8;
static constexpr int64_t directTableEntries(int64_t n)
{
    const int64_t h = (n - 1) / 2;
    return (h + kDirectRowBlock - 1) / kDirectRowBlock * kDirectRowBlock * h;
}

struct RadixFactors {
    int32_t count;
    int32_t factor[kMaxRadixFactors];        // in stage order
};

struct MixedRadixTables {
    RadixFactors factors;
    // Stage with span L = m*r holds w_L^(j*q), split, at entry
    // (m-1) + j*(r-1) + q-1, j < m, 0 < q < r: N-1 entries over all stages.
    const Complex* twiddles;
    // The direct table of r for each stage of odd radix 7 and more.
    const Complex* oddTables[kMaxRadixFactors];
    const int32_t* gather;   // position p of the first stage reads input gather[p]
    int32_t blockFactors;    // leading factors done by one block codelet, 0 if none
    int64_t blockLength;     // L, their product
};

}  // namespace regviafft::dft

#endif
