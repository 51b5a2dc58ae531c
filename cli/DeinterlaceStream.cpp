#include "cli/DeinterlaceStream.h"

#include "cli/CliError.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>

namespace {

// Frame indices restart from 0 once they pass this, so that a clip time
// (index x time step) never overflows the host's 32-bit time however long the
// stream runs.
constexpr int kRenumberAfter = 1 << 16;

std::string pluginFailure(const RenderResult& r, int64_t frame) {
    std::string text = "the plug-in failed on frame " + std::to_string(frame) + " with error " + std::to_string(r.err);
    if (!r.message.empty())
        text += ": " + r.message;
    return text;
}

} // namespace

std::vector<uint8_t> layerPixelsOf(const Frame& frame, int width, int height, int pixelBytes) {
    const int64_t left = -int64_t(frame.originX), top = -int64_t(frame.originY);
    if (left < 0 || top < 0 || left + width > frame.width || top + height > frame.height)
        throw CliError("the plug-in's output does not cover the picture (" + std::to_string(frame.width) + "x" +
                       std::to_string(frame.height) + " at " + std::to_string(frame.originX) + "," +
                       std::to_string(frame.originY) + ")");
    const size_t rowBytes = size_t(width) * size_t(pixelBytes);
    const size_t frameRowBytes = size_t(frame.width) * size_t(pixelBytes);
    if (frame.pixels.size() < frameRowBytes * size_t(frame.height))
        throw CliError("the plug-in's output frame is incomplete");
    std::vector<uint8_t> pixels(rowBytes * size_t(height));
    for (int y = 0; y < height; ++y)
        std::memcpy(pixels.data() + size_t(y) * rowBytes,
                    frame.pixels.data() + size_t(top + y) * frameRowBytes + size_t(left) * size_t(pixelBytes),
                    rowBytes);
    return pixels;
}

StreamResult deinterlaceStream(RenderDriver& driver, Y4mReader& reader, Y4mWriter& writer,
                               const StreamSettings& settings, const std::function<void(int64_t)>& onFrame) {
    const auto start = std::chrono::steady_clock::now();
    const Y4mHeader& header = reader.header();
    const FrameConverter converter(header, settings.format, settings.matrix);
    const PixelFormatTraits& traits = pixelFormatTraits(settings.format);
    const size_t rowBytes = size_t(converter.rowBytes());
    const size_t frameBytes = rowBytes * size_t(header.height);

    Clip clip(PF_PixelFormat(pixelFormatCode(settings.format)), header.width, header.height);
    Y4mFrame in(reader.layout());
    Y4mFrame out(writer.layout());
    std::vector<std::vector<uint8_t>> spare;
    StreamResult result;

    while (reader.readFrame(in)) {
        std::vector<uint8_t> pixels;
        if (!spare.empty()) {
            pixels = std::move(spare.back());
            spare.pop_back();
        }
        pixels.resize(frameBytes);
        converter.toPixels(in, pixels.data(), int64_t(rowBytes));

        // Frames older than two before this one are never checked out again.
        for (std::vector<uint8_t>& old : clip.dropFramesBefore(clip.frameCount() - (kStreamWindowFrames - 1)))
            spare.push_back(std::move(old));
        if (clip.firstFrame() >= kRenumberAfter)
            clip.renumberFrom(0);
        clip.addFrame(std::move(pixels));
        result.mostFramesHeld = std::max(result.mostFramesHeld, clip.framesHeld());

        RenderResult r = driver.render(clip, clip.frameCount() - 1, settings.params, settings.protocol);
        if (r.err != PF_Err_NONE)
            throw CliError(pluginFailure(r, result.frames));
        if (r.frame.pixels.empty())
            throw CliError("the plug-in made no output for frame " + std::to_string(result.frames));

        const Frame& f = r.frame;
        if (f.originX == 0 && f.originY == 0 && f.width == header.width && f.height == header.height) {
            converter.fromPixels(f.pixels.data(), int64_t(rowBytes), out);
        } else {
            const std::vector<uint8_t> cut = layerPixelsOf(f, header.width, header.height, traits.pixelBytes);
            converter.fromPixels(cut.data(), int64_t(rowBytes), out);
        }
        writer.writeFrame(out);
        driver.recycle(std::move(r.frame.pixels));
        ++result.frames;
        if (onFrame)
            onFrame(result.frames);
    }
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return result;
}
