#include "cli/DeinterlaceStream.h"

#include "cli/BoundedQueue.h"
#include "cli/CliError.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <exception>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

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

namespace {

// Frames in flight between the reading thread, the rendering (calling) thread
// and the writing thread: enough to keep each busy while the others work.
constexpr size_t kQueuedFrames = 2;

// Ends a pipeline stage's thread on every path: closes the queues it may wait
// on, then joins it.
class StageThread {
public:
    template <class Body, class... Queues>
    StageThread(Body body, Queues&... queues)
        : close_([&queues...] { (queues.close(), ...); }), thread_(std::move(body)) {}
    ~StageThread() { join(); }
    StageThread(const StageThread&) = delete;
    StageThread& operator=(const StageThread&) = delete;

    void join() {
        if (thread_.joinable()) {
            close_();
            thread_.join();
        }
    }

private:
    std::function<void()> close_;
    std::thread thread_;
};

} // namespace

StreamResult deinterlaceStream(RenderDriver& driver, Y4mReader& reader, Y4mWriter& writer,
                               const StreamSettings& settings, const std::function<void(int64_t)>& onFrame) {
    const auto start = std::chrono::steady_clock::now();
    const Y4mHeader& header = reader.header();
    const FrameConverter converter(header, settings.format, settings.matrix);
    const PixelFormatTraits& traits = pixelFormatTraits(settings.format);
    const size_t rowBytes = size_t(converter.rowBytes());
    const size_t frameBytes = rowBytes * size_t(header.height);

    // Reading and converting the next frame, and converting and writing the
    // last one, run on threads of their own while the plug-in renders.
    // Buffers travel back to their first stage through the `free` queues
    // (dropped when those are full, so that no stage ever waits on them).
    BoundedQueue<std::vector<uint8_t>> decoded(kQueuedFrames), freeInput(kStreamWindowFrames + kQueuedFrames + 2);
    BoundedQueue<Frame> rendered(kQueuedFrames);
    BoundedQueue<std::vector<uint8_t>> freeOutput(kQueuedFrames + 2);
    std::exception_ptr readError, writeError;

    StageThread readStage(
        [&] {
            try {
                Y4mFrame in(reader.layout());
                while (reader.readFrame(in)) {
                    std::vector<uint8_t> pixels = freeInput.tryPop().value_or(std::vector<uint8_t>{});
                    pixels.resize(frameBytes);
                    converter.toPixels(in, pixels.data(), int64_t(rowBytes));
                    if (!decoded.push(std::move(pixels)))
                        break;
                }
            } catch (...) {
                readError = std::current_exception();
            }
            decoded.close();
        },
        decoded);

    StageThread writeStage(
        [&] {
            try {
                Y4mFrame out(writer.layout());
                while (std::optional<Frame> f = rendered.pop()) {
                    if (f->originX == 0 && f->originY == 0 && f->width == header.width && f->height == header.height) {
                        converter.fromPixels(f->pixels.data(), int64_t(rowBytes), out);
                    } else {
                        const std::vector<uint8_t> cut = layerPixelsOf(*f, header.width, header.height, traits.pixelBytes);
                        converter.fromPixels(cut.data(), int64_t(rowBytes), out);
                    }
                    writer.writeFrame(out);
                    freeOutput.tryPush(std::move(f->pixels));
                }
            } catch (...) {
                writeError = std::current_exception();
            }
            // Nothing more is taken: the renderer stops at its next push.
            rendered.close();
            freeOutput.close();
        },
        rendered);

    Clip clip(PF_PixelFormat(pixelFormatCode(settings.format)), header.width, header.height);
    StreamResult result;
    while (std::optional<std::vector<uint8_t>> pixels = decoded.pop()) {
        while (std::optional<std::vector<uint8_t>> spare = freeOutput.tryPop())
            driver.recycle(std::move(*spare));
        // Frames older than two before this one are never checked out again.
        for (std::vector<uint8_t>& old : clip.dropFramesBefore(clip.frameCount() - (kStreamWindowFrames - 1)))
            freeInput.tryPush(std::move(old));
        if (clip.firstFrame() >= kRenumberAfter)
            clip.renumberFrom(0);
        clip.addFrame(std::move(*pixels));
        result.mostFramesHeld = std::max(result.mostFramesHeld, clip.framesHeld());

        RenderResult r = driver.render(clip, clip.frameCount() - 1, settings.params, settings.protocol);
        if (r.err != PF_Err_NONE)
            throw CliError(pluginFailure(r, result.frames));
        if (r.frame.pixels.empty())
            throw CliError("the plug-in made no output for frame " + std::to_string(result.frames));
        if (!rendered.push(std::move(r.frame)))
            break; // the writer failed
        ++result.frames;
        if (onFrame)
            onFrame(result.frames);
    }
    // The writer drains what is queued before it ends.
    rendered.close();
    writeStage.join();
    readStage.join();
    if (writeError)
        std::rethrow_exception(writeError);
    if (readError)
        std::rethrow_exception(readError);
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return result;
}
