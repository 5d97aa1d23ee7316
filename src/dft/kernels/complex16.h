// The complex double every kernel and plan reads and writes. The engine's
// own type, so that nothing below the descriptor layer depends on the public
// header; laid out exactly as the public _DFT_Complex16 (real part, then
// imaginary part, 16 bytes), so the descriptor layer hands the caller's
// arrays to the plans as they are.
#ifndef REGVIAFFT_DFT_COMPLEX16_H
#define REGVIAFFT_DFT_COMPLEX16_H

namespace regviafft::dft {

struct Complex {
    double real;
    double imag;
};

}  // namespace regviafft::dft

#endif
