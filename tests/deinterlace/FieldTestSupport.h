// Frames, host records and an independent plain field interpolation for the
// deinterlace tests.
#pragma once

#include "parallel/AEHost.h"
#include "image/Sarn_Pixel.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

namespace fieldtest {

// A host with no generic iteration (API major 11, no utils, no basic suite),
// so that runs go to the fallback runner's real threads.
struct TestHost {
    PF_InData inData{};
    PF_SmartRenderCallbacks smartCallbacks{};
    std::unique_ptr<AEHost> host;

    TestHost(PF_EffectWorld* output, bool smart, int32_t originX = 0, int32_t originY = 0) {
        inData.version.major = 11;
        inData.appl_id = kApplIdAfterEffects;
        inData.output_origin_x = originX;
        inData.output_origin_y = originY;
        host = std::make_unique<AEHost>(&inData, output, smart ? &smartCallbacks : nullptr);
    }
};

// A frame of 4-channel pixels of channel type T, rows `stride` bytes apart,
// with a host world describing it.
template <class T>
struct Frame {
    int32_t width, height, stride;
    std::vector<uint8_t> bytes;
    PF_EffectWorld world{};

    Frame(int32_t w, int32_t h, int32_t extraBytes = 0)
        : width(w), height(h), stride(int32_t(w * 4 * sizeof(T)) + extraBytes),
          bytes(size_t(stride) * size_t(std::max(h, 1)) + 1, 0xA5) {
        world.data = reinterpret_cast<PF_PixelPtr>(bytes.data());
        world.rowbytes = stride;
        world.width = w;
        world.height = h;
        world.extent_hint = PF_Rect{0, 0, w, h};
    }
    T get(int32_t x, int32_t y, int c) const {
        T v;
        std::memcpy(&v, bytes.data() + size_t(y) * stride + (size_t(x) * 4 + c) * sizeof(T), sizeof v);
        return v;
    }
    void set(int32_t x, int32_t y, int c, T v) {
        std::memcpy(bytes.data() + size_t(y) * stride + (size_t(x) * 4 + c) * sizeof(T), &v, sizeof v);
    }
    void setPixel(int32_t x, int32_t y, const T (&p)[4]) {
        for (int c = 0; c < 4; ++c)
            set(x, y, c, p[c]);
    }
    void fillRow(int32_t y, const T (&p)[4]) {
        for (int32_t x = 0; x < width; ++x)
            setPixel(x, y, p);
    }
};

// The kernel written out plainly, pixel by pixel, from the definition.
template <class T, class Order>
struct PlainKernel {
    struct Px {
        T c[4];
    };
    using B = std::conditional_t<std::is_same_v<T, float>, float, int32_t>;

    static B b(const Px& p) {
        if constexpr (std::is_same_v<T, float>) {
            float s = p.c[Order::c1];
            s = s + p.c[Order::c2];
            s = s + p.c[Order::c3];
            return s;
        } else {
            return B(p.c[Order::c1]) + B(p.c[Order::c2]) + B(p.c[Order::c3]);
        }
    }
    // Pair rule: the second is low only when strictly darker.
    static void pair(int i, int j, const Px* p, int& lo, int& hi) {
        if (b(p[j]) < b(p[i])) {
            lo = j;
            hi = i;
        } else {
            lo = i;
            hi = j;
        }
    }
    static Px middleAverage(const Px (&six)[6]) {
        int l[3], h[3];
        for (int i = 0; i < 3; ++i)
            pair(2 * i, 2 * i + 1, six, l[i], h[i]);
        int m, n;
        pair(l[0], l[1], six, m, n);
        const int s = b(six[m]) <= b(six[l[2]]) ? l[2] : m;
        int bigN, bigM;
        pair(h[0], h[2], six, bigN, bigM);
        const int t = b(six[h[1]]) <= b(six[bigM]) ? h[1] : bigM;
        int xl, xh, yl, yh;
        pair(bigN, n, six, xl, xh);
        pair(t, s, six, yl, yh);
        const Px& P = six[b(six[xl]) <= b(six[yl]) ? yl : xl];
        const Px& Q = six[b(six[yh]) <= b(six[xh]) ? yh : xh];
        Px a;
        for (int c = 0; c < 4; ++c) {
            if constexpr (std::is_same_v<T, float>)
                a.c[c] = (P.c[c] + Q.c[c]) * 0.5f;
            else
                a.c[c] = T((uint32_t(P.c[c]) + uint32_t(Q.c[c])) / 2u);
        }
        return a;
    }
    static Px median(const Px& a, const Px& up, const Px& down) {
        const B ba = b(a), bu = b(up), bd = b(down);
        if (bu < bd)
            return ba <= bu ? up : (ba <= bd ? a : down);
        return ba <= bd ? down : (ba <= bu ? a : up);
    }

    // Expected pixel at frame (x, y) of a rebuilt row, reading the kept rows
    // of `in` (parity keptParity) within the input rectangle
    // [left, right) x [top, bottom) given in frame coordinates of `in`.
    static Px expected(const Frame<T>& in, int32_t left, int32_t top, int32_t right,
                       int32_t bottom, int keptParity, int32_t x, int32_t y) {
        int32_t firstKept = (top & 1) == keptParity ? top : top + 1;
        int32_t lastKept = ((bottom - 1) & 1) == keptParity ? bottom - 1 : bottom - 2;
        auto keptRow = [&](int32_t r) { return std::min(lastKept, std::max(firstKept, r)); };
        auto col = [&](int32_t c) { return std::min(right - 1, std::max(left, c)); };
        auto px = [&](int32_t c, int32_t r) {
            Px p;
            for (int ch = 0; ch < 4; ++ch)
                p.c[ch] = in.get(col(c), keptRow(r), ch);
            return p;
        };
        const Px six[6] = {px(x - 1, y - 1), px(x, y - 1), px(x + 1, y - 1),
                           px(x - 1, y + 1), px(x, y + 1), px(x + 1, y + 1)};
        return median(middleAverage(six), six[1], six[4]);
    }
};

} // namespace fieldtest
