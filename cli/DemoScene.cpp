#include "cli/DemoScene.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace cli {

namespace {

struct Colour {
    float y, u, v;
};

float clamp01(float x) { return std::min(1.0f, std::max(0.0f, x)); }

// A fixed pseudo-random value in [-1, 1] per integer position.
float hashNoise(int x, int y) {
    uint32_t h = uint32_t(x) * 374761393u + uint32_t(y) * 668265263u;
    h = (h ^ (h >> 13)) * 1274126177u;
    h ^= h >> 16;
    return float(h & 0xFFFF) / 32767.5f - 1.0f;
}

// Smooth noise: bilinear between hashed lattice values every 2 pixels, so the
// detail is fine but can be sampled at any position.
float valueNoise(float x, float y) {
    const float fx = x * 0.5f, fy = y * 0.5f;
    const int ix = int(std::floor(fx)), iy = int(std::floor(fy));
    const float ax = fx - float(ix), ay = fy - float(iy);
    const float a = hashNoise(ix, iy), b = hashNoise(ix + 1, iy);
    const float c = hashNoise(ix, iy + 1), d = hashNoise(ix + 1, iy + 1);
    return (a * (1 - ax) + b * ax) * (1 - ay) + (c * (1 - ax) + d * ax) * ay;
}

Colour mix(const Colour& a, const Colour& b, float t) {
    return {a.y + (b.y - a.y) * t, a.u + (b.u - a.u) * t, a.v + (b.v - a.v) * t};
}

Colour pixelAt(float x, float y, int t, int w, int h) {
    const float halfW = float(w) / 2, halfH = float(h) / 2;
    if (y < halfH && x < halfW) {
        // Static texture: a weave of a few pixels' period and fine noise.
        const float s = 0.5f + 0.25f * std::sin(x * 0.9f) * std::sin(y * 0.6f) + 0.15f * valueNoise(x * 0.7f, y * 0.7f);
        return {40 + 170 * clamp01(s), 120 + 12 * std::sin(x * 0.1f), 132 - 10 * std::sin(y * 0.12f)};
    }
    if (y < halfH) {
        // Pan: the picture moves left 1.5 pixels per frame.
        const float u = x + 1.5f * float(t);
        const float s = 0.5f + 0.2f * std::sin(u * 0.7f + y * 0.25f) + 0.2f * valueNoise(u * 0.6f, y * 0.6f) +
                        0.1f * std::sin(y * 0.9f);
        return {30 + 190 * clamp01(s), 118 + 10 * std::sin(u * 0.05f), 136 + 8 * std::cos(u * 0.07f)};
    }
    if (x < halfW) {
        // Thin lines, about one row thick, with small slopes.
        float ink = 0;
        const float slopes[] = {0.02f, -0.05f, 0.09f, 0.14f, -0.2f};
        for (int i = 0; i < 5; ++i) {
            const float centre = halfH + 14 + 22 * float(i) + slopes[i] * x;
            ink = std::max(ink, clamp01(1.0f - std::fabs(y - centre)));
        }
        return mix(Colour{200, 128, 128}, Colour{25, 140, 120}, ink);
    }
    // Moving objects over a gradient.
    Colour c{60 + 80 * (y - halfH) / halfH, 128, 128 + 10 * (x - halfW) / halfW};
    const float barTop = halfH + 6 + 2.0f * float(t), barLeft = halfW + 20;
    const float bar = clamp01(std::min(y - barTop, barTop + 12 - y) + 0.5f) *
                      clamp01(std::min(x - barLeft, barLeft + 110 - x) + 0.5f);
    c = mix(c, Colour{180, 90, 200}, bar);
    const float cx = halfW + 20 + 3.0f * float(t), cy = halfH + 70;
    const float disc = clamp01(18.0f - std::hypot(x - cx, y - cy) + 0.5f);
    return mix(c, Colour{230, 60, 110}, disc);
}

uint8_t code(float v) { return uint8_t(std::lround(std::min(255.0f, std::max(0.0f, v)))); }

} // namespace

Y4mHeader DemoScene::header() const {
    Y4mHeader h;
    h.width = width;
    h.height = height;
    h.chroma = Y4mChroma::C420;
    h.chromaTag = "420jpeg";
    h.interlace = Y4mInterlace::Progressive;
    h.frameRate = "50:1";
    h.frameRateNum = 50;
    h.frameRateDen = 1;
    h.pixelAspect = "1:1";
    return h;
}

void DemoScene::render(int t, Y4mFrame& frame) const {
    std::vector<Colour> full(size_t(width) * size_t(height));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            full[size_t(y) * size_t(width) + size_t(x)] = pixelAt(float(x), float(y), t, width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            frame.row<uint8_t>(0, y)[x] = code(full[size_t(y) * size_t(width) + size_t(x)].y);
    // Chroma: the mean of each 2x2 block.
    const Y4mFrameLayout& l = frame.layout();
    for (int y = 0; y < l.height[1]; ++y) {
        for (int x = 0; x < l.width[1]; ++x) {
            float u = 0, v = 0;
            for (int dy = 0; dy < 2; ++dy)
                for (int dx = 0; dx < 2; ++dx) {
                    const int sx = std::min(width - 1, 2 * x + dx), sy = std::min(height - 1, 2 * y + dy);
                    const Colour& c = full[size_t(sy) * size_t(width) + size_t(sx)];
                    u += c.u;
                    v += c.v;
                }
            frame.row<uint8_t>(1, y)[x] = code(u / 4);
            frame.row<uint8_t>(2, y)[x] = code(v / 4);
        }
    }
}

} // namespace cli
