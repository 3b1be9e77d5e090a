// The wavefront near a ray as a 2 × 2 curvature matrix, and the laws that carry it along a
// chord and through an interface.
//
// On an orthonormal basis (u1, u2) across the ray, with u1 × u2 the ray's direction, the
// optical path of the wavefront near the ray is  s + ½·ξᵀQξ  for a transverse offset ξ:
// a positive eigenvalue of Q is a diverging principal section (1/Q the distance to its
// focal line behind), a negative one converges to a focal line ahead.
//
// Along a chord of length L in a homogeneous medium the rays are straight: a transverse
// offset grows as (I + L·Q)ξ, so the tube's cross-section is multiplied by det(I + L·Q) and
// Q becomes Q·(I + L·Q)⁻¹ = (Q + L·det Q·I)/det(I + L·Q) (Cayley–Hamilton for 2 × 2).
// A focal line lies on the chord for every negative eigenvalue of I + L·Q.
//
// At an interface the phases of the arriving and leaving waves agree along the surface up to
// second order (Deschamps' phase matching). On the surface basis (s, t) — s across the plane
// of incidence, t = N × s, N the outward normal — the surface is r0 + η − ½·ηᵀBη·N with B
// its second fundamental form; a wave of direction k̂_w has the transverse basis
// (s, k̂_w × s), on which a surface offset η is ξ = (η_s, c_w·η_t) with c_w = k̂_w·N. Matching
// k_w·(ξᵀQ_wξ − c_w·ηᵀBη) between the arriving wave 1 and the leaving wave 2 gives
//   diag(1, c2)·Q2·diag(1, c2) = (k1/k2)·diag(1, c1)·Q1·diag(1, c1) + (c2 − (k1/k2)·c1)·B,
// which holds for refraction (k2 ≠ k1) and reflection (k2 = k1, c2 = −c1) alike.
#pragma once

namespace orvane {

// A symmetric 2 × 2 matrix [[m11, m12], [m12, m22]]: a curvature matrix Q [1/µm], or the
// surface's second fundamental form B.
struct Sym2 {
    double m11 = 0.0;
    double m12 = 0.0;
    double m22 = 0.0;
};

inline double Det(const Sym2& m) { return m.m11 * m.m22 - m.m12 * m.m12; }
inline double Trace(const Sym2& m) { return m.m11 + m.m22; }

// How many eigenvalues of a symmetric 2 × 2 matrix with this determinant and trace are
// negative. A zero eigenvalue counts as none.
inline int NegativeEigenvalues(double det, double trace)
{
    if (det < 0.0)
        return 1;
    if (det > 0.0)
        return trace < 0.0 ? 2 : 0;
    return trace < 0.0 ? 1 : 0;
}

// The matrix on a new basis turned from the old one: ξ' = R·ξ with R = [[c, d], [−d, c]],
// c = u1·u1', d = u2·u1'. Returns R·Q·Rᵀ.
inline Sym2 Turned(const Sym2& q, double c, double d)
{
    const double cc = c * c;
    const double dd = d * d;
    const double cd = c * d;
    return {cc * q.m11 + 2.0 * cd * q.m12 + dd * q.m22,
            (cd * (q.m22 - q.m11)) + (cc - dd) * q.m12,
            dd * q.m11 - 2.0 * cd * q.m12 + cc * q.m22};
}

// The wavefront after a chord of length L [µm].
struct AlongChord {
    Sym2 q;            // the curvature matrix at the chord's end
    double spread;     // det(I + L·Q): the tube's cross-section at the end over that at the start
    int focalLines;    // focal lines crossed on the chord
};

inline AlongChord Propagated(const Sym2& q, double L)
{
    const double detQ = Det(q);
    const double trQ = Trace(q);
    const double spread = 1.0 + L * trQ + (L * L) * detQ;
    const double shift = L * detQ;
    AlongChord out;
    out.q = {(q.m11 + shift) / spread, q.m12 / spread, (q.m22 + shift) / spread};
    out.spread = spread;
    out.focalLines = NegativeEigenvalues(spread, 2.0 + L * trQ);
    return out;
}

// The leaving wave's curvature matrix on (s, k̂2 × s) from the arriving one's on (s, k̂1 × s).
// ratio = k1/k2; c1, c2 the signed cosines k̂·N of the two waves (c2 ≠ 0); B on (s, N × s).
inline Sym2 AcrossInterface(const Sym2& q1, double ratio, double c1, double c2, const Sym2& B)
{
    const double bend = c2 - ratio * c1;
    const double g11 = ratio * q1.m11 + bend * B.m11;
    const double g12 = (ratio * c1) * q1.m12 + bend * B.m12;
    const double g22 = (ratio * (c1 * c1)) * q1.m22 + bend * B.m22;
    return {g11, g12 / c2, g22 / (c2 * c2)};
}

} // namespace orvane
