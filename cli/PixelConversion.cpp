#include "cli/PixelConversion.h"

#include "cli/CliError.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <vector>

namespace cli {

using refhost::ChannelDepth;

namespace {

// Channel positions within a pixel. VUYA uses the BGRA positions with Y where
// R is, U where G is and V where B is.
struct PosARGB {
    static constexpr int a = 0, r = 1, g = 2, b = 3;
};
struct PosBGRA {
    static constexpr int a = 3, r = 2, g = 1, b = 0;
};

template <class Out>
constexpr float kFull = std::is_same_v<Out, uint8_t> ? 255.0f : std::is_same_v<Out, uint16_t> ? 32768.0f : 1.0f;

// The library's store rule: 0 at or below 0, full scale at or above it, else
// round half up; floats are stored as computed. `v` must be bounded (it is
// computed from table values): truncating v + 0.5 gives floor(v + 0.5) for
// positive v and at most 0 otherwise, and the clamp is done on integers, which
// compiles to conditional moves rather than branches.
template <class Out>
inline Out storeChannel(float v) {
    if constexpr (std::is_same_v<Out, float>) {
        return v;
    } else {
        const int rounded = int(v + 0.5f);
        return Out(std::min(std::max(rounded, 0), int(kFull<Out>)));
    }
}

// A code value computed from bounded values (integer pixels): clamped to
// 0..maxCode, rounded half up, as above.
inline int roundBoundedCode(float v, int maxCode) {
    return std::min(std::max(int(v + 0.5f), 0), maxCode);
}

// A code value computed from float pixels, which may hold anything: clamped in
// float first (NaN becomes 0), then rounded half up.
inline int roundCode(float v, float maxCode) {
    v = v > 0.0f ? v : 0.0f;
    v = v < maxCode ? v : maxCode;
    return int(v + 0.5f);
}

template <class Sample>
inline unsigned clampCode(Sample s, unsigned maxCode) {
    if constexpr (sizeof(Sample) == 1)
        return s;
    else
        return std::min<unsigned>(s, maxCode);
}

constexpr float kInverseCount[3] = {1.0f, 0.5f, 0.25f};

// ---- Code values to pixels ---------------------------------------------------

struct VuyaCopy8 {
    void operator()(uint8_t* px, uint8_t y, uint8_t u, uint8_t v) const {
        px[0] = v;
        px[1] = u;
        px[2] = y;
        px[3] = 255;
    }
};

template <class Sample, class Out>
struct VuyaForward {
    const Out* table;
    unsigned maxCode;
    void operator()(Out* px, Sample y, Sample u, Sample v) const {
        px[PosBGRA::b] = table[clampCode(v, maxCode)];
        px[PosBGRA::g] = table[clampCode(u, maxCode)];
        px[PosBGRA::r] = table[clampCode(y, maxCode)];
        px[PosBGRA::a] = Out(kFull<Out>);
    }
};

struct RgbCoefficients {
    // Forward: R = Y + rv*Cr; G = Y - gu*Cb - gv*Cr; B = Y + bu*Cb (normalised
    // Y and chroma scaled to the channel's full scale by the tables).
    float rv, gu, gv, bu;
    // Inverse: code = offset + k . (r, g, b), in the channel's scale.
    float ky[3], ku[3], kv[3];
    float yOffset, cOffset;
};

template <class Sample, class Out, class Pos>
struct RgbForward {
    const float* lumaTable;
    const float* chromaTable;
    RgbCoefficients k;
    unsigned maxCode;
    void operator()(Out* px, Sample ys, Sample us, Sample vs) const {
        const float y = lumaTable[clampCode(ys, maxCode)];
        const float u = chromaTable[clampCode(us, maxCode)];
        const float v = chromaTable[clampCode(vs, maxCode)];
        px[Pos::r] = storeChannel<Out>(y + k.rv * v);
        px[Pos::g] = storeChannel<Out>(y - k.gu * u - k.gv * v);
        px[Pos::b] = storeChannel<Out>(y + k.bu * u);
        px[Pos::a] = Out(kFull<Out>);
    }
};

// The default 8-bit path: two pixels sharing one chroma pair are assembled in
// one 64-bit word (V, U, Y0, A, V, U, Y1, A in memory) and stored at once.
inline void forwardRowVuya8Pairs(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* px, int width) {
    int x = 0;
    for (; x + 1 < width; x += 2) {
        const uint64_t chroma = uint64_t(v[x >> 1]) | uint64_t(u[x >> 1]) << 8;
        const uint64_t pair = chroma | uint64_t(y[x]) << 16 | uint64_t(0xff) << 24 | chroma << 32 |
                              uint64_t(y[x + 1]) << 48 | uint64_t(0xff) << 56;
        std::memcpy(px + 4 * x, &pair, 8);
    }
    if (x < width)
        VuyaCopy8{}(px + 4 * x, y[x], u[x >> 1], v[x >> 1]);
}

template <int HShift, class Sample, class Out, class Map>
void forwardRow(const Sample* y, const Sample* u, const Sample* v, Out* px, int width, const Map& mapIn) {
    // A local copy: stores through byte pointers cannot alias it, so its
    // tables and coefficients stay in registers.
    const Map map = mapIn;
    if constexpr (HShift == 1 && std::is_same_v<Map, VuyaCopy8>) {
        forwardRowVuya8Pairs(y, u, v, px, width);
    } else if constexpr (HShift == 1) {
        int x = 0;
        for (; x + 1 < width; x += 2) {
            const int c = x >> 1;
            map(px + 4 * x, y[x], u[c], v[c]);
            map(px + 4 * x + 4, y[x + 1], u[c], v[c]);
        }
        if (x < width)
            map(px + 4 * x, y[x], u[x >> 1], v[x >> 1]);
    } else {
        for (int x = 0; x < width; ++x)
            map(px + 4 * x, y[x], u[x], v[x]);
    }
}

// ---- Pixels to code values ---------------------------------------------------

// Integer VUYA: chroma is summed in the pixel scale, the rounded mean mapped
// through the inverse table.
template <class Out, class Sample>
struct VuyaInverseInt {
    using Acc = int32_t;
    const Sample* table;  // pixel value 0..full -> code
    void operator()(const Out* px, Sample& y, Acc& u, Acc& v) const {
        y = table[std::min<unsigned>(px[PosBGRA::r], unsigned(kFull<Out>))];
        u = px[PosBGRA::g];
        v = px[PosBGRA::b];
    }
    Sample chroma(Acc sum, int shift) const {
        const unsigned mean = unsigned(sum + ((1 << shift) >> 1)) >> shift;
        return table[std::min<unsigned>(mean, unsigned(kFull<Out>))];
    }
};

// 8-bit VUYA of an 8-bit stream: the codes themselves.
struct VuyaInverseCopy8 {
    using Acc = int32_t;
    void operator()(const uint8_t* px, uint8_t& y, Acc& u, Acc& v) const {
        y = px[PosBGRA::r];
        u = px[PosBGRA::g];
        v = px[PosBGRA::b];
    }
    uint8_t chroma(Acc sum, int shift) const { return uint8_t((sum + ((1 << shift) >> 1)) >> shift); }
};

template <class Sample>
struct VuyaInverseFloat {
    using Acc = float;
    float maxCode;
    void operator()(const float* px, Sample& y, Acc& u, Acc& v) const {
        y = Sample(roundCode(px[PosBGRA::r] * maxCode, maxCode));
        u = px[PosBGRA::g] * maxCode;
        v = px[PosBGRA::b] * maxCode;
    }
    Sample chroma(Acc sum, int shift) const { return Sample(roundCode(sum * kInverseCount[shift], maxCode)); }
};

template <class Out, class Sample, class Pos>
struct RgbInverse {
    using Acc = float;
    RgbCoefficients k;
    int maxCode;
    static int round(float v, int maxCode) {
        if constexpr (std::is_same_v<Out, float>)
            return roundCode(v, float(maxCode));
        else
            return roundBoundedCode(v, maxCode);
    }
    void operator()(const Out* px, Sample& y, Acc& u, Acc& v) const {
        const float r = float(px[Pos::r]), g = float(px[Pos::g]), b = float(px[Pos::b]);
        y = Sample(round(k.yOffset + k.ky[0] * r + k.ky[1] * g + k.ky[2] * b, maxCode));
        u = k.cOffset + k.ku[0] * r + k.ku[1] * g + k.ku[2] * b;
        v = k.cOffset + k.kv[0] * r + k.kv[1] * g + k.kv[2] * b;
    }
    Sample chroma(Acc sum, int shift) const { return Sample(round(sum * kInverseCount[shift], maxCode)); }
};

template <class Out, class Sample, class Map>
void inverseRow(const Out* px, int width, Sample* y, typename Map::Acc* u, typename Map::Acc* v, const Map& mapIn) {
    const Map map = mapIn;
    for (int x = 0; x < width; ++x)
        map(px + 4 * x, y[x], u[x], v[x]);
    // One column past the end repeats the last, for the mean of an odd width.
    u[width] = u[width - 1];
    v[width] = v[width - 1];
}

// Chroma sample cx from one or two accumulator rows, 1 or 2 columns each.
template <int HShift, int Rows, class Sample, class Map>
void finishChromaRow(const typename Map::Acc* a0, const typename Map::Acc* a1, Sample* out, int chromaWidth,
                     const Map& mapIn) {
    const Map map = mapIn;
    constexpr int shift = HShift + (Rows - 1);
    for (int cx = 0; cx < chromaWidth; ++cx) {
        typename Map::Acc sum = a0[cx << HShift];
        if constexpr (HShift == 1)
            sum += a0[2 * cx + 1];
        if constexpr (Rows == 2) {
            sum += a1[cx << HShift];
            if constexpr (HShift == 1)
                sum += a1[2 * cx + 1];
        }
        out[cx] = map.chroma(sum, shift);
    }
}

// Chroma row `chromaRow` of both planes: U from the accumulator rows u0 and
// u1, V from v0 and v1 (the second row of each is read only when Rows is 2).
template <int HShift, int Rows, class Sample, class Map>
void finishChromaRows(const typename Map::Acc* u0, const typename Map::Acc* v0, const typename Map::Acc* u1,
                      const typename Map::Acc* v1, Y4mFrame& frame, int chromaRow, int chromaWidth,
                      const Map& map) {
    finishChromaRow<HShift, Rows>(u0, u1, frame.row<Sample>(1, chromaRow), chromaWidth, map);
    finishChromaRow<HShift, Rows>(v0, v1, frame.row<Sample>(2, chromaRow), chromaWidth, map);
}

}  // namespace

struct FrameConverter::Impl {
    Y4mHeader header;
    Y4mFrameLayout layout;
    PixelFormat format;
    const refhost::PixelFormatInfo* info;
    std::vector<int32_t> chromaRowOf;  // luma row -> chroma row (4:2:0, 4:2:2)
    std::vector<uint8_t> neutral8;
    std::vector<uint16_t> neutral16;
    // Forward tables, indexed by code 0..maxCode.
    std::vector<uint8_t> forward8;
    std::vector<uint16_t> forward16;
    std::vector<float> forwardF, lumaF, chromaF;
    // Inverse tables for integer VUYA, indexed by pixel value 0..full.
    std::vector<uint8_t> inverseTo8;
    std::vector<uint16_t> inverseTo16;
    RgbCoefficients rgb{};
    std::function<void(const Y4mFrame&, uint8_t*, int64_t)> toPixels;
    std::function<void(const uint8_t*, int64_t, Y4mFrame&)> fromPixels;

    Impl(const Y4mHeader& header, PixelFormat format, ColourMatrix matrix, ChromaFields fields);

    template <class Sample>
    void install();
    template <class Sample, class Out>
    void installDepth();
    template <class Sample, class Out, class Map>
    void installForward(Map map);
    template <class Sample, class Out, class Map>
    void installInverse(Map map);
};

namespace {

int64_t roundedRatio(int64_t num, int64_t den) {
    return (2 * num + den) / (2 * den);
}

}  // namespace

int vuya16FromCode(int code, int bits) {
    const int64_t maxCode = (int64_t(1) << bits) - 1;
    return int(roundedRatio(int64_t(code) * 32768, maxCode));
}

int codeFromVuya16(int value, int bits) {
    const int64_t maxCode = (int64_t(1) << bits) - 1;
    return int((int64_t(value) * maxCode + 16384) >> 15);
}

ChromaFields chromaFieldsOf(const Y4mHeader& header) {
    return header.interlace == Y4mInterlace::TopFirst || header.interlace == Y4mInterlace::BottomFirst
               ? ChromaFields::Interlaced
               : ChromaFields::Progressive;
}

FrameConverter::Impl::Impl(const Y4mHeader& h, PixelFormat f, ColourMatrix matrix, ChromaFields fields)
    : header(h), layout(h), format(f), info(&formatInfo(f)) {
    const int height = header.height;
    const int chromaHeight = layout.height[1];
    chromaRowOf.resize(size_t(height));
    for (int y = 0; y < height; ++y) {
        if (header.chroma != Y4mChroma::C420) {
            chromaRowOf[size_t(y)] = y;
        } else if (fields == ChromaFields::Progressive) {
            chromaRowOf[size_t(y)] = y >> 1;
        } else {
            // Chroma rows alternate between the fields like luma rows do:
            // chroma row 2j + f of field f covers its field rows 2j and 2j + 1.
            const int parity = y & 1;
            int row = 2 * (y >> 2) + parity;
            // Heights that are not a multiple of 4 leave the last field row
            // without chroma of its own: take that field's last chroma row.
            if (row >= chromaHeight)
                row = (chromaHeight - 1 - parity) / 2 * 2 + parity;
            if (row < 0 || row >= chromaHeight)
                row = chromaHeight - 1;
            chromaRowOf[size_t(y)] = row;
        }
    }
    const int maxCode = header.maxCode();
    const int codeScale = 1 << (header.bitDepth - 8);
    neutral8.assign(size_t(header.width), uint8_t(128));
    neutral16.assign(size_t(header.width), uint16_t(128 * codeScale));

    // Y4M codes and RGB: offsets and ranges of luma and chroma codes.
    double yOffset = 16.0 * codeScale, yRange = 219.0 * codeScale;
    double cOffset = 128.0 * codeScale, cRange = 224.0 * codeScale;
    if (header.fullRange()) {
        yOffset = 0.0;
        yRange = maxCode;
        cRange = maxCode;
    }
    const double kr = matrix == ColourMatrix::BT601 ? 0.299 : 0.2126;
    const double kb = matrix == ColourMatrix::BT601 ? 0.114 : 0.0722;
    const double kg = 1.0 - kr - kb;
    const double full = info->depth == ChannelDepth::Bits8    ? 255.0
                        : info->depth == ChannelDepth::Bits16 ? 32768.0
                                                              : 1.0;
    rgb.rv = float(2.0 * (1.0 - kr));
    rgb.bu = float(2.0 * (1.0 - kb));
    rgb.gu = float(2.0 * kb * (1.0 - kb) / kg);
    rgb.gv = float(2.0 * kr * (1.0 - kr) / kg);
    const double ys = yRange / full, us = cRange / (2.0 * (1.0 - kb) * full), vs = cRange / (2.0 * (1.0 - kr) * full);
    const double ky[3] = {kr * ys, kg * ys, kb * ys};
    const double ku[3] = {-kr * us, -kg * us, (1.0 - kb) * us};
    const double kv[3] = {(1.0 - kr) * vs, -kg * vs, -kb * vs};
    for (int i = 0; i < 3; ++i) {
        rgb.ky[i] = float(ky[i]);
        rgb.ku[i] = float(ku[i]);
        rgb.kv[i] = float(kv[i]);
    }
    rgb.yOffset = float(yOffset);
    rgb.cOffset = float(cOffset);

    lumaF.resize(size_t(maxCode) + 1);
    chromaF.resize(size_t(maxCode) + 1);
    forwardF.resize(size_t(maxCode) + 1);
    forward8.resize(size_t(maxCode) + 1);
    forward16.resize(size_t(maxCode) + 1);
    for (int c = 0; c <= maxCode; ++c) {
        lumaF[size_t(c)] = float((c - yOffset) / yRange * full);
        chromaF[size_t(c)] = float((c - cOffset) / cRange * full);
        forwardF[size_t(c)] = float(double(c) / maxCode);
        forward8[size_t(c)] = uint8_t(roundedRatio(int64_t(c) * 255, maxCode));
        forward16[size_t(c)] = uint16_t(vuya16FromCode(c, header.bitDepth));
    }
    inverseTo8.resize(256);
    inverseTo16.resize(256);
    for (int v = 0; v <= 255; ++v) {
        const int64_t code = roundedRatio(int64_t(v) * maxCode, 255);
        inverseTo8[size_t(v)] = uint8_t(code);
        inverseTo16[size_t(v)] = uint16_t(code);
    }
    if (info->depth == ChannelDepth::Bits16) {
        inverseTo8.assign(32769, 0);
        inverseTo16.resize(32769);
        for (int v = 0; v <= 32768; ++v)
            inverseTo16[size_t(v)] = uint16_t(codeFromVuya16(v, header.bitDepth));
        for (int v = 0; v <= 32768; ++v)
            inverseTo8[size_t(v)] = uint8_t(std::min(codeFromVuya16(v, header.bitDepth), 255));
    }

    if (layout.sampleBytes == 1)
        install<uint8_t>();
    else
        install<uint16_t>();
}

template <class Sample>
void FrameConverter::Impl::install() {
    switch (info->depth) {
    case ChannelDepth::Bits8:
        installDepth<Sample, uint8_t>();
        break;
    case ChannelDepth::Bits16:
        installDepth<Sample, uint16_t>();
        break;
    case ChannelDepth::Float:
        installDepth<Sample, float>();
        break;
    }
}

template <class Sample, class Out>
void FrameConverter::Impl::installDepth() {
    const unsigned maxCode = unsigned(header.maxCode());
    const Sample* inverseTable = nullptr;
    if constexpr (!std::is_same_v<Out, float>) {
        if constexpr (std::is_same_v<Sample, uint8_t>)
            inverseTable = inverseTo8.data();
        else
            inverseTable = inverseTo16.data();
    }
    switch (channelOrder(format)) {
    case ChannelOrder::VUYA:
        if constexpr (std::is_same_v<Out, float>) {
            installForward<Sample, Out>(VuyaForward<Sample, float>{forwardF.data(), maxCode});
            installInverse<Sample, Out>(VuyaInverseFloat<Sample>{float(maxCode)});
        } else {
            if constexpr (std::is_same_v<Sample, uint8_t> && std::is_same_v<Out, uint8_t>) {
                installForward<Sample, Out>(VuyaCopy8{});
                installInverse<Sample, Out>(VuyaInverseCopy8{});
            } else {
                if constexpr (std::is_same_v<Out, uint8_t>)
                    installForward<Sample, Out>(VuyaForward<Sample, Out>{forward8.data(), maxCode});
                else
                    installForward<Sample, Out>(VuyaForward<Sample, Out>{forward16.data(), maxCode});
                installInverse<Sample, Out>(VuyaInverseInt<Out, Sample>{inverseTable});
            }
        }
        break;
    case ChannelOrder::ARGB:
        installForward<Sample, Out>(RgbForward<Sample, Out, PosARGB>{lumaF.data(), chromaF.data(), rgb, maxCode});
        installInverse<Sample, Out>(RgbInverse<Out, Sample, PosARGB>{rgb, int(maxCode)});
        break;
    case ChannelOrder::BGRA:
        installForward<Sample, Out>(RgbForward<Sample, Out, PosBGRA>{lumaF.data(), chromaF.data(), rgb, maxCode});
        installInverse<Sample, Out>(RgbInverse<Out, Sample, PosBGRA>{rgb, int(maxCode)});
        break;
    }
}

template <class Sample, class Out, class Map>
void FrameConverter::Impl::installForward(Map map) {
    toPixels = [this, map](const Y4mFrame& frame, uint8_t* pixels, int64_t rowBytes) {
        const int width = header.width;
        const bool mono = header.chroma == Y4mChroma::Mono;
        const bool halfWidth = header.chroma == Y4mChroma::C420 || header.chroma == Y4mChroma::C422;
        const Sample* neutral;
        if constexpr (std::is_same_v<Sample, uint8_t>)
            neutral = neutral8.data();
        else
            neutral = neutral16.data();
        for (int y = 0; y < header.height; ++y) {
            const Sample* luma = frame.row<Sample>(0, y);
            Out* px = reinterpret_cast<Out*>(pixels + int64_t(y) * rowBytes);
            if (mono) {
                forwardRow<0>(luma, neutral, neutral, px, width, map);
                continue;
            }
            const int chromaRow = chromaRowOf[size_t(y)];
            const Sample* u = frame.row<Sample>(1, chromaRow);
            const Sample* v = frame.row<Sample>(2, chromaRow);
            if (halfWidth)
                forwardRow<1>(luma, u, v, px, width, map);
            else
                forwardRow<0>(luma, u, v, px, width, map);
        }
    };
}

template <class Sample, class Out, class Map>
void FrameConverter::Impl::installInverse(Map map) {
    fromPixels = [this, map](const uint8_t* pixels, int64_t rowBytes, Y4mFrame& frame) {
        using Acc = typename Map::Acc;
        const int width = header.width, height = header.height;
        const int chromaWidth = layout.width[1];
        std::vector<Acc> scratch(4 * (size_t(width) + 1));
        Acc* u0 = scratch.data();
        Acc* v0 = u0 + width + 1;
        Acc* u1 = v0 + width + 1;
        Acc* v1 = u1 + width + 1;
        auto pixelRow = [&](int y) { return reinterpret_cast<const Out*>(pixels + int64_t(y) * rowBytes); };
        switch (header.chroma) {
        case Y4mChroma::Mono:
            for (int y = 0; y < height; ++y)
                inverseRow(pixelRow(y), width, frame.row<Sample>(0, y), u0, v0, map);
            break;
        case Y4mChroma::C444:
        case Y4mChroma::C422:
            for (int y = 0; y < height; ++y) {
                inverseRow(pixelRow(y), width, frame.row<Sample>(0, y), u0, v0, map);
                if (header.chroma == Y4mChroma::C444)
                    finishChromaRows<0, 1, Sample>(u0, v0, u0, v0, frame, y, chromaWidth, map);
                else
                    finishChromaRows<1, 1, Sample>(u0, v0, u0, v0, frame, y, chromaWidth, map);
            }
            break;
        case Y4mChroma::C420:
            for (int c = 0; c < layout.height[1]; ++c) {
                const int y = 2 * c;
                inverseRow(pixelRow(y), width, frame.row<Sample>(0, y), u0, v0, map);
                // An odd last row pairs with itself.
                const bool paired = y + 1 < height;
                if (paired)
                    inverseRow(pixelRow(y + 1), width, frame.row<Sample>(0, y + 1), u1, v1, map);
                finishChromaRows<1, 2, Sample>(u0, v0, paired ? u1 : u0, paired ? v1 : v0, frame, c, chromaWidth,
                                               map);
            }
            break;
        }
    };
}

FrameConverter::FrameConverter(const Y4mHeader& header, PixelFormat format, ColourMatrix matrix,
                               std::optional<ChromaFields> fields)
    : impl_(std::make_unique<Impl>(header, format, matrix, fields.value_or(chromaFieldsOf(header)))) {}

FrameConverter::~FrameConverter() = default;

PixelFormat FrameConverter::format() const {
    return impl_->format;
}

int64_t FrameConverter::rowBytes() const {
    return int64_t(impl_->header.width) * impl_->info->bytesPerPixel;
}

namespace {

void checkBuffer(const FrameConverter::Impl& impl, const Y4mFrame& frame, const void* pixels, int64_t rowBytes) {
    if (frame.size() != impl.layout.frameBytes || frame.layout().planes != impl.layout.planes)
        throw CliError("pixel conversion: frame does not match the stream's layout");
    const int64_t align = impl.info->bytesPerPixel / 4;
    if (rowBytes < int64_t(impl.header.width) * impl.info->bytesPerPixel || rowBytes % align != 0 ||
        reinterpret_cast<uintptr_t>(pixels) % uintptr_t(align) != 0)
        throw CliError("pixel conversion: pixel buffer row stride or alignment is unusable");
}

}  // namespace

void FrameConverter::toPixels(const Y4mFrame& frame, uint8_t* pixels, int64_t rowBytes) const {
    checkBuffer(*impl_, frame, pixels, rowBytes);
    impl_->toPixels(frame, pixels, rowBytes);
}

void FrameConverter::fromPixels(const uint8_t* pixels, int64_t rowBytes, Y4mFrame& frame) const {
    checkBuffer(*impl_, frame, pixels, rowBytes);
    impl_->fromPixels(pixels, rowBytes, frame);
}

} // namespace cli
