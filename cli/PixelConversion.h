// Conversion between Y4M frames and the plug-in's interleaved four-channel
// pixel buffers, for all eleven pixel formats.
//
// Chroma is upsampled by repetition (each chroma sample covers its 2x1 or 2x2
// block of luma positions) and subsampled back by the rounded mean of that
// block, so an untouched progressive frame returns bit for bit. Interlaced
// 4:2:0 chroma is upsampled per field: a luma row takes the nearest chroma row
// of its own field. Output chroma is always subsampled progressively. Mono
// frames get neutral chroma and write only luma back.
//
// VUYA formats carry the Y4M code values without colour conversion:
//   8-bit "vuya"  : the code itself at 8 bits; other depths rescaled to 0..255;
//   16-bit "Vuya" : v = floor(c * 32768 / M + 1/2), M = 2^bits - 1, and back
//                   c = floor(v * M / 32768 + 1/2). The inverse recovers every
//                   code exactly up to 15 bits; at 16 bits two codes share one
//                   value and the low bit is lost (every value 0..32768 still
//                   returns exactly).
//   float "VUya"  : v = c / M, back c = round(v * M); exact at every depth.
// RGB formats go through the BT.601 or BT.709 matrix, limited range unless the
// stream says XCOLORRANGE=FULL; integer results are clamped to the channel's
// range and rounded half up, float results are stored unclamped. On the way
// back codes are clamped to 0..M and rounded half up.
#pragma once

#include "cli/PixelFormat.h"
#include "cli/Y4mFrame.h"
#include "cli/Y4mHeader.h"

#include <cstdint>
#include <memory>
#include <optional>

namespace cli {

enum class ColourMatrix { BT601, BT709 };
enum class ChromaFields { Progressive, Interlaced };

// It and Ib streams have field-wise chroma; Ip, Im and untagged ones are
// taken as progressive.
ChromaFields chromaFieldsOf(const Y4mHeader& header);

// The exact maps between a code of `bits` bits and the 0..32768 scale.
int vuya16FromCode(int code, int bits);
int codeFromVuya16(int value, int bits);

class FrameConverter {
public:
    FrameConverter(const Y4mHeader& header, PixelFormat format, ColourMatrix matrix = ColourMatrix::BT709,
                   std::optional<ChromaFields> fields = std::nullopt);
    ~FrameConverter();
    FrameConverter(const FrameConverter&) = delete;
    FrameConverter& operator=(const FrameConverter&) = delete;

    PixelFormat format() const;
    // Bytes of one row of pixels; a buffer's row stride must be at least this.
    int64_t rowBytes() const;

    // `pixels` addresses pixel (0, 0); rows are `rowBytes` apart. The pointer
    // and stride must be aligned to the channel size.
    void toPixels(const Y4mFrame& frame, uint8_t* pixels, int64_t rowBytes) const;
    void fromPixels(const uint8_t* pixels, int64_t rowBytes, Y4mFrame& frame) const;

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

} // namespace cli
