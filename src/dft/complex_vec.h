// One complex double held as one 128-bit vector, real part in lane 0, for the
// plans' butterflies. Every operation rounds each lane exactly as the scalar
// formula it replaces (a - b as a + (-b), a sign flip as a negation), so the
// results do not depend on which representation a compiler uses. Baseline
// x86-64 (SSE2) suffices; other compilers get a plain two-double struct.
#ifndef REGVIAFFT_DFT_COMPLEX_VEC_H
#define REGVIAFFT_DFT_COMPLEX_VEC_H

#include <cstdint>
#include <cstring>

#include "engine.h"

#if defined(__GNUC__)

struct ComplexVec {
    typedef double Lanes __attribute__((vector_size(16)));
    typedef int64_t Bits __attribute__((vector_size(16)));
    Lanes v;
};

inline ComplexVec makeComplexVec(double real, double imag) {
    return {ComplexVec::Lanes{real, imag}};
}
inline double realPart(ComplexVec a) { return a.v[0]; }
inline double imagPart(ComplexVec a) { return a.v[1]; }
inline ComplexVec operator+(ComplexVec a, ComplexVec b) { return {a.v + b.v}; }
inline ComplexVec operator-(ComplexVec a, ComplexVec b) { return {a.v - b.v}; }
inline ComplexVec operator*(double s, ComplexVec a) { return {ComplexVec::Lanes{s, s} * a.v}; }
// Lane-wise product: (a.real * b.real, a.imag * b.imag).
inline ComplexVec lanewise(ComplexVec a, ComplexVec b) { return {a.v * b.v}; }
inline ComplexVec swapParts(ComplexVec a) { return {ComplexVec::Lanes{a.v[1], a.v[0]}}; }
inline ComplexVec broadcastReal(ComplexVec a) { return {ComplexVec::Lanes{a.v[0], a.v[0]}}; }
inline ComplexVec broadcastImag(ComplexVec a) { return {ComplexVec::Lanes{a.v[1], a.v[1]}}; }
// Sign flips by xor: exact negations, one cheap instruction.
inline ComplexVec negateReal(ComplexVec a) {
    return {(ComplexVec::Lanes)((ComplexVec::Bits)a.v ^ ComplexVec::Bits{INT64_MIN, 0})};
}
inline ComplexVec negateImag(ComplexVec a) {
    return {(ComplexVec::Lanes)((ComplexVec::Bits)a.v ^ ComplexVec::Bits{0, INT64_MIN})};
}

#else

struct ComplexVec {
    double re;
    double im;
};

inline ComplexVec makeComplexVec(double real, double imag) { return {real, imag}; }
inline double realPart(ComplexVec a) { return a.re; }
inline double imagPart(ComplexVec a) { return a.im; }
inline ComplexVec operator+(ComplexVec a, ComplexVec b) { return {a.re + b.re, a.im + b.im}; }
inline ComplexVec operator-(ComplexVec a, ComplexVec b) { return {a.re - b.re, a.im - b.im}; }
inline ComplexVec operator*(double s, ComplexVec a) { return {s * a.re, s * a.im}; }
inline ComplexVec lanewise(ComplexVec a, ComplexVec b) { return {a.re * b.re, a.im * b.im}; }
inline ComplexVec swapParts(ComplexVec a) { return {a.im, a.re}; }
inline ComplexVec broadcastReal(ComplexVec a) { return {a.re, a.re}; }
inline ComplexVec broadcastImag(ComplexVec a) { return {a.im, a.im}; }
inline ComplexVec negateReal(ComplexVec a) { return {-a.re, a.im}; }
inline ComplexVec negateImag(ComplexVec a) { return {a.re, -a.im}; }

#endif

// Unaligned 16-byte moves; a Complex is only 8-byte aligned.
inline ComplexVec loadComplex(const Complex* p) {
    ComplexVec a;
    std::memcpy(&a, p, sizeof a);
    return a;
}
inline void storeComplex(Complex* p, ComplexVec a) { std::memcpy(p, &a, sizeof a); }
inline ComplexVec toVec(Complex c) { return makeComplexVec(c.real, c.imag); }

// i*a and -i*a.
inline ComplexVec timesI(ComplexVec a) { return negateReal(swapParts(a)); }
inline ComplexVec timesMinusI(ComplexVec a) { return negateImag(swapParts(a)); }
// -i*a forward, +i*a backward: the quarter turn of each direction.
template <bool Forward>
inline ComplexVec quarterTurn(ComplexVec a) {
    return Forward ? timesMinusI(a) : timesI(a);
}

// a + i*b and a - i*b: (a.real - b.imag, a.imag + b.real) and
// (a.real + b.imag, a.imag - b.real).
inline ComplexVec plusI(ComplexVec a, ComplexVec b) { return a + timesI(b); }
inline ComplexVec minusI(ComplexVec a, ComplexVec b) { return a - timesI(b); }

// a*w = (a.real*w.real - a.imag*w.imag, a.imag*w.real + a.real*w.imag); the
// sign goes on the factor (x*(-y) == -(x*y)), so constant roots fold it away.
inline ComplexVec multiply(ComplexVec a, ComplexVec w) {
    return lanewise(a, broadcastReal(w)) + lanewise(swapParts(a), negateReal(broadcastImag(w)));
}
// a*conj(w) = (a.real*w.real + a.imag*w.imag, a.imag*w.real - a.real*w.imag).
inline ComplexVec multiplyConjugate(ComplexVec a, ComplexVec w) {
    return lanewise(a, broadcastReal(w)) + lanewise(swapParts(a), negateImag(broadcastImag(w)));
}
// a*w forward, a*conj(w) backward: tables hold forward roots.
template <bool Forward>
inline ComplexVec rotate(ComplexVec a, ComplexVec w) {
    return Forward ? multiply(a, w) : multiplyConjugate(a, w);
}

#endif
