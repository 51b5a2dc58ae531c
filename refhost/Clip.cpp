#include "refhost/Clip.h"

namespace refhost {

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

const std::vector<uint8_t>& Clip::frame(int index) const {
    if (!hasFrame(index))
        throw std::out_of_range("Clip: frame not held");
    return frames_[size_t(index - first_)];
}

std::vector<std::vector<uint8_t>> Clip::dropFramesBefore(int index) {
    std::vector<std::vector<uint8_t>> dropped;
    while (!frames_.empty() && first_ < index) {
        dropped.push_back(std::move(frames_.front()));
        frames_.pop_front();
        ++first_;
    }
    if (frames_.empty() && first_ < index)
        first_ = index;
    return dropped;
}

} // namespace refhost
