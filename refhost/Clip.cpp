#include "refhost/Clip.h"

Clip::Clip(PF_PixelFormat format, A_long width, A_long height)
    : format_(format), width_(width), height_(height) {
    if (pixelFormatInfo(format) == nullptr)
        throw std::invalid_argument("Clip: unknown pixel format");
    if (width < 0 || height < 0)
        throw std::invalid_argument("Clip: negative size");
}

void Clip::addFrame(std::vector<uint8_t> pixels) {
    if (pixels.size() != frameBytes())
        throw std::invalid_argument("Clip: frame of the wrong size");
    frames_.push_back(std::move(pixels));
}
