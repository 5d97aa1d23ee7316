// Butterflies of 2, 3, 4 and 5 points on vectors of complex numbers, in place;
// the backward ones conjugate the roots. Shared by the codelets and the
// mixed-radix stages. Radix 3 uses -0.5 and -sin(2*pi/3); radix 5 the cosines
// and negated sines of 2*pi/5 and 4*pi/5.

// a + b*exp(-i*pi/2) forward, a + b*exp(+i*pi/2) backward.
template <bool Forward, class V>
inline V plusQuarterTurn(V a, V b)
{
    return Forward ? minusI(a, b) : plusI(a, b);
}

template <class V>
inline void dft2(V* v)
{
    const V t = v[1];
    v[1] = v[0] - t;
    v[0] = v[0] + t;
}

template <bool Forward, class V>
inline void dft3(V* v)
{
    constexpr double c = -0.5;
    constexpr double s = Forward ? -0.8660254037844386 : 0.8660254037844386;
    const V sum = v[1] + v[2];
    const V mid = v[0] + c * sum;
    const V rot = s * (v[1] - v[2]);
    v[0] = v[0] + sum;
    v[1] = plusI(mid, rot);
    v[2] = minusI(mid, rot);
}

template <bool Forward, class V>
inline void dft4(V* v)
{
    const V t0 = v[0] + v[2];
    const V t1 = v[0] - v[2];
    const V t2 = v[1] + v[3];
    const V t3 = v[1] - v[3];
    v[0] = t0 + t2;
    v[1] = plusQuarterTurn<Forward>(t1, t3);
    v[2] = t0 - t2;
    v[3] = plusQuarterTurn<!Forward>(t1, t3);
}

template <bool Forward, class V>
inline void dft5(V* v)
{
    constexpr double c1 = 0.30901699437494745;
    constexpr double c2 = -0.8090169943749473;
    constexpr double s1 = Forward ? -0.9510565162951535 : 0.9510565162951535;
    constexpr double s2 = Forward ? -0.5877852522924732 : 0.5877852522924732;
    const V a1 = v[1] + v[4];
    const V b1 = v[1] - v[4];
    const V a2 = v[2] + v[3];
    const V b2 = v[2] - v[3];
    const V m1 = v[0] + c1 * a1 + c2 * a2;
    const V m2 = v[0] + c2 * a1 + c1 * a2;
    const V r1 = s1 * b1 + s2 * b2;
    const V r2 = s2 * b1 - s1 * b2;
    v[0] = v[0] + a1 + a2;
    v[1] = plusI(m1, r1);
    v[4] = minusI(m1, r1);
    v[2] = plusI(m2, r2);
    v[3] = minusI(m2, r2);
}

// The specialised radices by number.
template <bool Forward, int R, class V>
inline void butterfly(V* v)
{
    static_assert(R >= 2 && R <= 5, "specialised radices are 2, 3, 4 and 5");
    if constexpr (R == 2)
        dft2(v);
    else if constexpr (R == 3)
        dft3<Forward>(v);
    else if constexpr (R == 4)
        dft4<Forward>(v);
    else
        dft5<Forward>(v);
}
