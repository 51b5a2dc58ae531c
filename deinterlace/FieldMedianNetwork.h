// The field kernel's ranking network written once over a vector policy, for
// the vector row functions. Every lane holds one output pixel's candidates:
// `Ops::Pixels` whole pixels, `Ops::Bright` their brightness, laid out so
// that a comparison of brightness selects whole pixels. The comparisons and
// selections are those of the scalar kernel, in its order, so the results are
// bit for bit the same.
//
// An Ops type provides:
//   lanes, bytesPerPixel, Pixels, Bright;
//   load, store, brightness(Pixels), average(Pixels, Pixels);
//   less(a, b), lessEqual(a, b): masks (their types may differ) that
//   select(mask, ifTrue, ifFalse) takes; min, max of Bright;
//   shiftsBrightness: when true, also centre(w, wPrev), left(w, wPrev) and
//   prime(v), so that each kept row's brightness is computed once per vector
//   step and the neighbours' brightness is shifted out of it (see rows()).
//
// Include only from the *_sse2.cpp / *_avx2.cpp / *_avx512.cpp files, with
// Ops types of internal linkage, so that no code built for one tier is shared
// with another.
#pragma once

#include "deinterlace/FieldMedianRows.h"
#include "image/Sarn_Pixel.h"

#include <cstdint>

namespace FieldMedianNetwork {

template <class Ops>
struct Ranked {
    typename Ops::Pixels p;
    typename Ops::Bright b;
};

template <class Ops>
inline Ranked<Ops> rank(typename Ops::Pixels p) {
    return Ranked<Ops>{p, Ops::brightness(p)};
}

// low = q where b(q) < b(p), else p. min(x, y) and max(x, y) are the
// processor's "x < y ? x : y" and "x > y ? x : y", the same test.
template <class Ops>
inline void orderPair(const Ranked<Ops>& p, const Ranked<Ops>& q, Ranked<Ops>& low,
                      Ranked<Ops>& high) {
    const auto qFirst = Ops::less(q.b, p.b);
    low.p = Ops::select(qFirst, q.p, p.p);
    high.p = Ops::select(qFirst, p.p, q.p);
    low.b = Ops::min(q.b, p.b);
    high.b = Ops::max(p.b, q.b);
}

template <class Ops>
inline typename Ops::Pixels interpolate(const Ranked<Ops>& um, const Ranked<Ops>& u,
                                        const Ranked<Ops>& up, const Ranked<Ops>& dm,
                                        const Ranked<Ops>& d, const Ranked<Ops>& dp) {
    using R = Ranked<Ops>;
    R L1, H1, L2, H2, L3, H3;
    orderPair<Ops>(um, u, L1, H1);
    orderPair<Ops>(up, dm, L2, H2);
    orderPair<Ops>(d, dp, L3, H3);

    // m, n = L2, L1 when b(L2) < b(L1), else L1, L2: the pair rule on (L1, L2).
    R m, n;
    orderPair<Ops>(L1, L2, m, n);
    // S = L3 when b(m) <= b(L3), else m. Its brightness only feeds later
    // comparisons, where the max of two equal values (+0 and -0 at most)
    // compares the same as the one chosen.
    R S;
    S.p = Ops::select(Ops::lessEqual(m.b, L3.b), L3.p, m.p);
    S.b = Ops::max(L3.b, m.b);

    // M, N = H1, H3 when b(H3) < b(H1), else H3, H1: the pair rule on (H1, H3).
    R N, M;
    orderPair<Ops>(H1, H3, N, M);
    R T;
    T.p = Ops::select(Ops::lessEqual(H2.b, M.b), H2.p, M.p);
    T.b = Ops::min(H2.b, M.b);

    R XL, XH, YL, YH;
    orderPair<Ops>(N, n, XL, XH);
    orderPair<Ops>(T, S, YL, YH);
    const auto P = Ops::select(Ops::lessEqual(XL.b, YL.b), YL.p, XL.p);
    const auto Q = Ops::select(Ops::lessEqual(YH.b, XH.b), YH.p, XH.p);
    const R a = rank<Ops>(Ops::average(P, Q));

    // Median of three: with lo, hi = above, below when b(above) < b(below),
    // else below, above, the result is lo if b(a) <= b(lo), else a if
    // b(a) <= b(hi), else hi.
    const auto aboveFirst = Ops::less(u.b, d.b);
    const auto lo = Ops::select(aboveFirst, u.p, d.p);
    const auto hi = Ops::select(aboveFirst, d.p, u.p);
    const auto loB = Ops::min(u.b, d.b);
    const auto hiB = Ops::max(d.b, u.b);
    return Ops::select(Ops::lessEqual(a.b, loB), lo,
                       Ops::select(Ops::lessEqual(a.b, hiB), a.p, hi));
}

// The vector at column x with every brightness computed from its pixels.
template <class Ops>
inline void rowStep(uint8_t* out, const uint8_t* a, const uint8_t* b) {
    constexpr int64_t bytes = Ops::bytesPerPixel;
    Ops::store(out, interpolate<Ops>(rank<Ops>(Ops::load(a - bytes)), rank<Ops>(Ops::load(a)),
                                     rank<Ops>(Ops::load(a + bytes)), rank<Ops>(Ops::load(b - bytes)),
                                     rank<Ops>(Ops::load(b)), rank<Ops>(Ops::load(b + bytes))));
}

// With shiftsBrightness, the step at column x computes only the brightness W
// of the vector one column right (columns x + 1 ...), which is the right
// neighbours' brightness; the centre and left neighbours' brightness is
// shifted out of W and the previous step's W. Before the first step, prime()
// turns the brightness of the vector at column -1 into a stand-in for the
// previous W whose last two pixels are columns -1 and 0.
//
// A row whose width is not a multiple of the vector ends with one vector
// that overlaps the one before: the pixels computed twice come out the same
// (the output rows are never read), and no pixel is left to the scalar code.
template <class Ops>
int32_t rows(uint8_t* out, const uint8_t* above, const uint8_t* below, int32_t count) {
    constexpr int32_t lanes = Ops::lanes;
    constexpr int64_t bytes = Ops::bytesPerPixel;
    if (count < lanes)
        return 0;
    const int32_t end = count - count % lanes;
    const uint8_t* a = above;
    const uint8_t* b = below;
    uint8_t* o = out;
    if constexpr (Ops::shiftsBrightness) {
        auto wAbove = Ops::prime(Ops::brightness(Ops::load(a - bytes)));
        auto wBelow = Ops::prime(Ops::brightness(Ops::load(b - bytes)));
        for (int32_t x = 0; x < end; x += lanes, a += lanes * bytes, b += lanes * bytes,
                     o += lanes * bytes) {
            const Ranked<Ops> up = rank<Ops>(Ops::load(a + bytes));
            const Ranked<Ops> dp = rank<Ops>(Ops::load(b + bytes));
            const Ranked<Ops> um{Ops::load(a - bytes), Ops::left(up.b, wAbove)};
            const Ranked<Ops> u{Ops::load(a), Ops::centre(up.b, wAbove)};
            const Ranked<Ops> dm{Ops::load(b - bytes), Ops::left(dp.b, wBelow)};
            const Ranked<Ops> d{Ops::load(b), Ops::centre(dp.b, wBelow)};
            Ops::store(o, interpolate<Ops>(um, u, up, dm, d, dp));
            wAbove = up.b;
            wBelow = dp.b;
        }
    } else {
        for (int32_t x = 0; x < end; x += lanes, a += lanes * bytes, b += lanes * bytes,
                     o += lanes * bytes)
            rowStep<Ops>(o, a, b);
    }
    if (end < count) {
        const int64_t last = int64_t(count - lanes) * bytes;
        rowStep<Ops>(out + last, above + last, below + last);
    }
    return count;
}

// The row table of one tier from its three policies, each over a channel
// order; a constant expression, so that the table is filled at load time.
template <template <class> class Ops8, template <class> class Ops16, template <class> class OpsFloat>
constexpr FieldMedianRowTable table() {
    return FieldMedianRowTable{{
        rows<Ops8<Sarn_OrderARGB>>,
        rows<Ops16<Sarn_OrderARGB>>,
        rows<OpsFloat<Sarn_OrderARGB>>,
        rows<Ops8<Sarn_OrderRGBA>>,
        rows<Ops16<Sarn_OrderRGBA>>,
        rows<OpsFloat<Sarn_OrderRGBA>>,
    }};
}

} // namespace FieldMedianNetwork
