// Butterflies of 3, 4 and 5 points on values held in vector registers, in
// place; the backward ones conjugate the roots. Shared by the codelets and
// the mixed-radix stages.
#ifndef REGVIAFFT_DFT_BUTTERFLIES_H
#define REGVIAFFT_DFT_BUTTERFLIES_H

#include "complex_vec.h"

// a + b*exp(-i*pi/2) forward, a + b*exp(+i*pi/2) backward.
template <bool Forward>
inline ComplexVec plusQuarterTurn(ComplexVec a, ComplexVec b) {
    return Forward ? minusI(a, b) : plusI(a, b);
}

template <bool Forward>
inline void dft3(ComplexVec* v) {
    constexpr double c = -0.5;
    constexpr double s = Forward ? -0.8660254037844386 : 0.8660254037844386;
    const ComplexVec sum = v[1] + v[2];
    const ComplexVec mid = v[0] + c * sum;
    const ComplexVec rot = s * (v[1] - v[2]);
    v[0] = v[0] + sum;
    v[1] = plusI(mid, rot);
    v[2] = minusI(mid, rot);
}

template <bool Forward>
inline void dft4(ComplexVec* v) {
    const ComplexVec t0 = v[0] + v[2];
    const ComplexVec t1 = v[0] - v[2];
    const ComplexVec t2 = v[1] + v[3];
    const ComplexVec t3 = v[1] - v[3];
    v[0] = t0 + t2;
    v[1] = plusQuarterTurn<Forward>(t1, t3);
    v[2] = t0 - t2;
    v[3] = plusQuarterTurn<!Forward>(t1, t3);
}

template <bool Forward>
inline void dft5(ComplexVec* v) {
    constexpr double c1 = 0.30901699437494745;
    constexpr double c2 = -0.8090169943749473;
    constexpr double s1 = Forward ? -0.9510565162951535 : 0.9510565162951535;
    constexpr double s2 = Forward ? -0.5877852522924732 : 0.5877852522924732;
    const ComplexVec a1 = v[1] + v[4];
    const ComplexVec b1 = v[1] - v[4];
    const ComplexVec a2 = v[2] + v[3];
    const ComplexVec b2 = v[2] - v[3];
    const ComplexVec m1 = v[0] + c1 * a1 + c2 * a2;
    const ComplexVec m2 = v[0] + c2 * a1 + c1 * a2;
    const ComplexVec r1 = s1 * b1 + s2 * b2;
    const ComplexVec r2 = s2 * b1 - s1 * b2;
    v[0] = v[0] + a1 + a2;
    v[1] = plusI(m1, r1);
    v[4] = minusI(m1, r1);
    v[2] = plusI(m2, r2);
    v[3] = minusI(m2, r2);
}

#endif
