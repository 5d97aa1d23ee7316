// The largest sizes the library serves. Each is checked in 64-bit arithmetic
// before anything is allocated, and a size beyond it is refused by the call
// that was given it: CRegViaFFT::Create returns 0, the stabiliser throws
// std::invalid_argument. The transform engine has its own, per dimension: a
// length above 2^26 (powers of two) or 2^24 (other lengths) commits with
// status 9 (DFT_1D_LENGTH_EXCEEDS_INT32).
#ifndef REGVIAFFT_LIMITS_H
#define REGVIAFFT_LIMITS_H

namespace regviafft {

// Frame side in pixels: a 4-byte frame of this square already needs 1 GiB.
constexpr int kMaxFrameSide = 16384;
// Template side at the analysed scale: every transform buffer stays within
// 16 MiB, a stream's (some thirty of them) within 512 MiB.
constexpr int kMaxTemplateSide = 1024;
// Templates per stream: the registration object's slots.
constexpr int kMaxTemplates = 10;
// Frames in the registration object's smoothing window.
constexpr int kMaxWindowLength = 100000;

}  // namespace regviafft

#endif
