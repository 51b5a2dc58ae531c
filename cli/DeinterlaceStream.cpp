#include "cli/DeinterlaceStream.h"

#include "cli/BoundedQueue.h"
#include "cli/CliError.h"
#include "cli/platform/CliPlatform.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <cstring>
#include <exception>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace cli {

namespace {

// Frame indices restart from 0 once they pass this, so that a clip time
// (index x time step) never overflows the host's 32-bit time however long the
// stream runs.
constexpr int kRenumberAfter = 1 << 16;

std::string pluginFailure(const refhost::RenderResult& r, int64_t frame) {
    std::string text = "the plug-in failed on frame " + std::to_string(frame);
    if (r.err != PF_Err_NONE)
        text += " with error " + std::to_string(r.err);
    if (!r.message.empty())
        text += ": " + r.message;
    return text;
}

} // namespace

std::vector<uint8_t> layerPixelsOf(const refhost::Frame& frame, int width, int height, int pixelBytes) {
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

// Released frames kept for reuse (so that a long run does not touch fresh
// pages per frame) stay under this many bytes in each free list, whatever
// their count: at large sizes recycling saves little and costs gigabytes.
constexpr size_t kRecycledBytes = size_t(256) << 20;

size_t recycledFrames(size_t most, size_t frameBytes) {
    return std::min(most, kRecycledBytes / std::max<size_t>(frameBytes, 1));
}

// Ends a pipeline stage's thread on every path: join() waits for it to finish
// its work; stop() (and the destructor) close the queues it may wait on and
// interrupt it until it has returned, so that a failing run never waits on a
// read or a write that may never complete.
class StageThread {
public:
    template <class Body, class... Queues>
    StageThread(Body body, Queues&... queues)
        : close_([&queues...] { (queues.close(), ...); }) {
        CliPlatform::prepareThreadInterruption();
        thread_ = std::thread([this, body = std::move(body)] {
            body();
            std::lock_guard lock(mutex_);
            finished_ = true;
            done_.notify_all();
        });
    }
    ~StageThread() { stop(); }
    StageThread(const StageThread&) = delete;
    StageThread& operator=(const StageThread&) = delete;

    void join() {
        if (thread_.joinable()) {
            close_();
            thread_.join();
        }
    }

    void stop() {
        if (!thread_.joinable())
            return;
        close_();
        std::unique_lock lock(mutex_);
        // A request just before the thread enters its system call is lost,
        // hence the repeats.
        while (!done_.wait_for(lock, std::chrono::milliseconds(10), [&] { return finished_; }))
            CliPlatform::interruptThread(thread_);
        lock.unlock();
        thread_.join();
    }

private:
    std::function<void()> close_;
    std::mutex mutex_;
    std::condition_variable done_;
    bool finished_ = false;
    std::thread thread_;
};

// A frame read and converted for the plug-in. A frame tagged progressive
// keeps its stream bytes, written out unchanged instead of rendered.
struct DecodedFrame {
    std::vector<uint8_t> pixels;
    Y4mInterlace interlace = Y4mInterlace::Unspecified;
    std::optional<Y4mFrame> passThrough;
};

// What the writer receives: a rendered frame, or a frame to write as read.
struct OutputFrame {
    refhost::Frame rendered;
    std::optional<Y4mFrame> passThrough;
};

A_long keptFieldOf(const DecodedFrame& frame, const StreamSettings& settings) {
    if (!settings.fieldsFromFrameTags || frame.interlace == Y4mInterlace::Unspecified)
        return settings.params.fields;
    return frame.interlace == Y4mInterlace::BottomFirst ? 2 : 1;
}

} // namespace

int64_t streamMemoryEstimate(const Y4mHeader& header, PixelFormat format) {
    const int64_t pixels = int64_t(header.width) * header.height;
    const int64_t frameBytes = pixels * formatInfo(format).bytesPerPixel;
    const int64_t streamBytes = Y4mFrameLayout(header).frameBytes;
    // Pixel frames: the reader's and the queue to the renderer, the clip's
    // window, the host's copies of the frames a render checks out, its output
    // and the frame handed back, the queue to the writer and the writer's.
    const int64_t framesInFlight = 1 + int64_t(kQueuedFrames) + kStreamWindowFrames + kStreamWindowFrames + 2 +
                                   int64_t(kQueuedFrames) + 1;
    // Recycled frames: both free lists, bounded by bytes.
    const int64_t recycled = std::min<int64_t>(2 * int64_t(kRecycledBytes), 3 * frameBytes);
    // Stream frames: the reader's, the writer's and progressive frames on
    // their way through.
    const int64_t streamFrames = 4;
    // The plug-in's own working memory ("Best", the most): luminance
    // pictures, motion fields and scratch frames, from peak resident memory
    // of whole runs in every pixel depth, about 29 bytes a pixel plus 2.5
    // frames.
    const int64_t pluginBytes = pixels * 30 + frameBytes * 3;
    return framesInFlight * frameBytes + recycled + streamFrames * streamBytes + pluginBytes;
}

StreamResult deinterlaceStream(refhost::RenderDriver& driver, Y4mReader& reader, Y4mWriter& writer,
                               const StreamSettings& settings, const std::function<void(int64_t)>& onFrame) {
    const auto start = std::chrono::steady_clock::now();
    const Y4mHeader& header = reader.header();
    const FrameConverter converter(header, settings.format, settings.matrix);
    const int pixelBytes = formatInfo(settings.format).bytesPerPixel;
    const size_t rowBytes = size_t(converter.rowBytes());
    const size_t frameBytes = rowBytes * size_t(header.height);

    // Reading and converting the next frame, and converting and writing the
    // last one, run on threads of their own while the plug-in renders.
    // Buffers travel back to their first stage through the `free` queues
    // (dropped when those are full, so that no stage ever waits on them).
    const size_t spareInputs = recycledFrames(kStreamWindowFrames + kQueuedFrames + 2, frameBytes);
    const size_t spareOutputs = recycledFrames(kQueuedFrames + 2, frameBytes);
    BoundedQueue<DecodedFrame> decoded(kQueuedFrames);
    BoundedQueue<std::vector<uint8_t>> freeInput(spareInputs);
    BoundedQueue<OutputFrame> rendered(kQueuedFrames);
    BoundedQueue<std::vector<uint8_t>> freeOutput(spareOutputs);
    std::exception_ptr readError, writeError;

    StageThread readStage(
        [&] {
            try {
                Y4mFrame in(reader.layout());
                while (reader.readFrame(in)) {
                    DecodedFrame frame;
                    frame.pixels = freeInput.tryPop().value_or(std::vector<uint8_t>{});
                    frame.pixels.resize(frameBytes);
                    converter.toPixels(in, frame.pixels.data(), int64_t(rowBytes));
                    frame.interlace = in.interlace;
                    if (in.interlace == Y4mInterlace::Progressive) {
                        frame.passThrough.emplace(std::move(in));
                        in = Y4mFrame(reader.layout());
                    }
                    if (!decoded.push(std::move(frame)))
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
                while (std::optional<OutputFrame> item = rendered.pop()) {
                    if (item->passThrough) {
                        writer.writeFrame(*item->passThrough);
                        continue;
                    }
                    const refhost::Frame& f = item->rendered;
                    if (f.originX == 0 && f.originY == 0 && f.width == header.width && f.height == header.height) {
                        converter.fromPixels(f.pixels.data(), int64_t(rowBytes), out);
                    } else {
                        const std::vector<uint8_t> cut = layerPixelsOf(f, header.width, header.height, pixelBytes);
                        converter.fromPixels(cut.data(), int64_t(rowBytes), out);
                    }
                    writer.writeFrame(out);
                    if (spareOutputs > 0)
                        freeOutput.tryPush(std::move(item->rendered.pixels));
                }
            } catch (...) {
                writeError = std::current_exception();
                // The renderer stops at once instead of waiting for a frame
                // the reader may never get.
                decoded.close();
            }
            // Nothing more is taken: the renderer stops at its next push.
            rendered.close();
            freeOutput.close();
        },
        rendered);

    refhost::Clip clip(PF_PixelFormat(pixelFormatCode(settings.format)), header.width, header.height);
    StreamResult result;
    refhost::RenderParams params = settings.params;
    while (std::optional<DecodedFrame> frame = decoded.pop()) {
        while (std::optional<std::vector<uint8_t>> spare = freeOutput.tryPop())
            driver.recycle(std::move(*spare));
        // Frames older than two before this one are never checked out again.
        for (std::vector<uint8_t>& old : clip.dropFramesBefore(clip.frameCount() - (kStreamWindowFrames - 1)))
            if (spareInputs > 0)
                freeInput.tryPush(std::move(old));
        if (clip.firstFrame() >= kRenumberAfter)
            clip.renumberFrom(0);
        // Progressive frames join the clip too: later frames may look back at them.
        clip.addFrame(std::move(frame->pixels));
        result.mostFramesHeld = std::max(result.mostFramesHeld, clip.framesHeld());

        OutputFrame output;
        if (frame->passThrough) {
            output.passThrough = std::move(frame->passThrough);
        } else {
            params.fields = keptFieldOf(*frame, settings);
            refhost::RenderResult r = driver.render(clip, clip.frameCount() - 1, params, settings.protocol);
            // A message the plug-in asks to show means its render did not
            // finish, whatever the error code says.
            if (r.err != PF_Err_NONE || r.showsMessage)
                throw CliError(pluginFailure(r, result.frames));
            if (r.frame.pixels.empty())
                throw CliError("the plug-in made no output for frame " + std::to_string(result.frames));
            output.rendered = std::move(r.frame);
        }
        if (!rendered.push(std::move(output)))
            break; // the writer failed
        ++result.frames;
        if (onFrame)
            onFrame(result.frames);
    }
    // The writer drains what is queued before it ends.
    rendered.close();
    writeStage.join();
    if (writeError) {
        readStage.stop();
        std::rethrow_exception(writeError);
    }
    readStage.join();
    if (readError)
        std::rethrow_exception(readError);
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return result;
}

} // namespace cli
