// The stream header of a YUV4MPEG2 file: geometry, sampling, bit depth and the
// fields passed through unchanged.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace cli {

enum class Y4mChroma { Mono, C420, C422, C444 };
enum class Y4mInterlace { Unspecified, Progressive, TopFirst, BottomFirst, Mixed };
enum class Y4mRange { Unspecified, Limited, Full };

// Largest accepted picture: each side and the pixel count are bounded so that
// every buffer size fits comfortably in 64 bits and a hostile header cannot
// ask for absurd allocations. The side is the plug-in's own limit (the whole
// layer it asks the host for), so a picture read here is one it renders.
inline constexpr int kY4mMaxSide = 100000;
inline constexpr int64_t kY4mMaxPixels = int64_t(1) << 27;
// Longest header or frame line accepted, newline included.
inline constexpr int kY4mMaxLine = 65536;

struct Y4mHeader {
    int width = 0;
    int height = 0;
    Y4mChroma chroma = Y4mChroma::C420;
    int bitDepth = 8;
    std::string chromaTag;       // the C token without "C" ("420mpeg2", "422p10"); empty when absent
    Y4mInterlace interlace = Y4mInterlace::Unspecified;
    std::string frameRate;       // the F token without "F" ("30000:1001"); empty when absent
    int64_t frameRateNum = 0, frameRateDen = 0;
    std::string pixelAspect;     // the A token without "A"; empty when absent
    Y4mRange range = Y4mRange::Unspecified;   // from XCOLORRANGE
    std::vector<std::string> extras;          // X and unknown tokens, verbatim, in order

    int maxCode() const { return (1 << bitDepth) - 1; }
    bool fullRange() const { return range == Y4mRange::Full; }
};

// Parses one header line (without its newline). Throws CliError naming the
// problem for a malformed or unsupported header.
Y4mHeader parseY4mHeader(std::string_view line);

// The header line with its newline. The chroma tag is written as read (or
// derived from chroma and depth when empty).
std::string formatY4mHeader(const Y4mHeader& header);

// The header with its frame rate doubled (or halved when `doubled` is false):
// the even one of numerator and denominator is divided by two, otherwise the
// other is multiplied. A header without a rate is returned unchanged.
Y4mHeader withScaledFrameRate(const Y4mHeader& header, bool doubled);

// The C tag for a chroma format and depth ("420jpeg", "422p10", "mono12").
std::string y4mChromaTag(Y4mChroma chroma, int bitDepth);

} // namespace cli
