#include "cli/DeinterlaceStream.h"

#include "cli/BoundedQueue.h"
#include "cli/CliError.h"
#include "cli/FieldWeave.h"
#include "cli/platform/CliPlatform.h"

#include <algorithm>
#include <chrono>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <future>
#include <memory>
#include <mutex>
#include <cstring>
#include <exception>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace cli {

using refhost::Clip;
using refhost::Frame;
using refhost::RenderDriver;
using refhost::RenderParams;
using refhost::RenderResult;

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

using SharedPixels = std::shared_ptr<const std::vector<uint8_t>>;

// Converted input frames go back to `spare` when their last holder lets go,
// so that the reader does not allocate (fresh pages, zeroed) a frame per
// frame: on Windows every block this large is mapped and unmapped by the
// system. The deleter shares the free list, so the list outlives the last.
using FreeFrames = BoundedQueue<std::vector<uint8_t>>;

std::shared_ptr<std::vector<uint8_t>> reusedFrame(const std::shared_ptr<FreeFrames>& spare, size_t bytes, bool keep) {
    std::optional<std::vector<uint8_t>> reused = spare->tryPop();
    auto frame = std::make_unique<std::vector<uint8_t>>(reused ? std::move(*reused) : std::vector<uint8_t>(bytes));
    // Should making the shared pointer fail, it hands the frame to the deleter.
    return std::shared_ptr<std::vector<uint8_t>>(frame.release(), [spare, keep](std::vector<uint8_t>* p) {
        if (keep)
            spare->tryPush(std::move(*p));
        delete p;
    });
}

// One input frame as read and converted for the plug-in, with (at field
// rate) its frame of the stream re-paired by one field. A frame tagged
// progressive keeps its stream bytes, written out unchanged instead of
// rendered.
struct DecodedFrame {
    int64_t index = 0;
    SharedPixels pixels, repaired;
    Y4mInterlace interlace = Y4mInterlace::Unspecified;
    std::shared_ptr<const Y4mFrame> passThrough;
};

// What the writer receives: a rendered frame, or a frame to write as read.
struct OutputFrame {
    Frame rendered;
    std::shared_ptr<const Y4mFrame> passThrough;
};

// One input frame to render, with the frames before it that the mode looks
// back at (oldest first, the frame itself last), per stream: the input, and
// at field rate the re-paired stream.
struct WorkItem {
    int64_t index = 0;
    int64_t firstIndex = 0; // input index of window[0]
    std::vector<const DecodedFrame*> window;
    std::vector<std::shared_ptr<const DecodedFrame>> keep;
    std::promise<std::vector<OutputFrame>> done;
};

A_long keptFieldOf(const DecodedFrame& frame, const StreamSettings& settings) {
    if (!settings.fieldsFromFrameTags || frame.interlace == Y4mInterlace::Unspecified)
        return settings.params.fields;
    return frame.interlace == Y4mInterlace::BottomFirst ? 2 : 1;
}

// A job's clip of one stream: the window of the last frame it rendered,
// topped up with the frames the next one needs (copies: other jobs hold the
// same frames), or started again when the next window does not follow on.
class JobClip {
public:
    JobClip(const Clip& shape) : clip_(shape) {}

    void sync(const WorkItem& item, bool repaired) {
        const int64_t last = item.index;
        const int64_t held = clip_.framesHeld();
        if (held == 0 || first_ + held - 1 >= last || first_ + held < item.firstIndex || first_ > item.firstIndex) {
            for (std::vector<uint8_t>& old : clip_.dropFramesBefore(clip_.frameCount()))
                spare_ = std::move(old);
            clip_.renumberFrom(0);
            first_ = item.firstIndex;
        } else {
            for (std::vector<uint8_t>& old : clip_.dropFramesBefore(clip_.firstFrame() + int(item.firstIndex - first_)))
                spare_ = std::move(old);
            first_ = item.firstIndex;
        }
        for (int64_t i = first_ + clip_.framesHeld(); i <= last; ++i) {
            const std::vector<uint8_t>& src = repaired ? *item.window[size_t(i - item.firstIndex)]->repaired
                                                       : *item.window[size_t(i - item.firstIndex)]->pixels;
            std::vector<uint8_t> copy = std::move(spare_);
            copy.assign(src.begin(), src.end());
            clip_.addFrame(std::move(copy));
        }
        if (clip_.firstFrame() >= kRenumberAfter)
            clip_.renumberFrom(0);
    }
    const Clip& clip() const { return clip_; }

private:
    Clip clip_;
    int64_t first_ = 0; // input index of the oldest frame held
    std::vector<uint8_t> spare_;
};

} // namespace

int earlierFramesOf(A_long motion) {
    switch (motion) {
    case 1:
        return 0;
    case 2:
    case 3:
        return 1;
    default:
        return 2;
    }
}

Y4mHeader fieldRateHeaderOf(const Y4mHeader& header) { return withScaledFrameRate(header, true); }

int64_t streamMemoryEstimate(const Y4mHeader& header, PixelFormat format, int jobs, bool fieldRate) {
    const int64_t pixels = int64_t(header.width) * header.height;
    const int64_t frameBytes = pixels * formatInfo(format).bytesPerPixel;
    const int64_t streamBytes = Y4mFrameLayout(header).frameBytes;
    const int64_t streams = fieldRate ? 2 : 1;
    // Pixel frames: the reader's window and the frames queued to the jobs;
    // per job its clip, the host's copies of the frames a render checks out,
    // its output and the frame handed back; the results waiting for the
    // writer, its queue and the writer's own.
    const int64_t framesInFlight = streams * (kStreamWindowFrames + int64_t(kQueuedFrames)) +
                                   int64_t(jobs) * streams * (kStreamWindowFrames + kStreamWindowFrames + 2) +
                                   streams * (int64_t(jobs) + int64_t(kQueuedFrames) + 1);
    // Recycled frames: both free lists, bounded by bytes, and the converted
    // input frames kept for reuse.
    const int64_t recycled = std::min<int64_t>(2 * int64_t(kRecycledBytes), 3 * frameBytes) +
                             int64_t(recycledFrames(kQueuedFrames + 2, size_t(frameBytes))) * frameBytes;
    // Stream frames: the reader's, the writer's and progressive frames on
    // their way through.
    const int64_t streamFrames = 4 + (fieldRate ? 2 : 0);
    // The plug-in's own working memory ("Best", the most) in each job:
    // luminance pictures, motion fields and scratch frames, from peak
    // resident memory of whole runs in every pixel depth, about 29 bytes a
    // pixel plus 2.5 frames.
    const int64_t pluginBytes = int64_t(jobs) * (pixels * 30 + frameBytes * 3);
    return framesInFlight * frameBytes + recycled + streamFrames * streamBytes + pluginBytes;
}

StreamResult deinterlaceStream(const std::vector<RenderDriver*>& jobs, Y4mReader& reader, Y4mWriter& writer,
                               const StreamSettings& settings, const std::function<void(int64_t)>& onFrame) {
    const auto start = std::chrono::steady_clock::now();
    const Y4mHeader& header = reader.header();
    const FrameConverter converter(header, settings.format, settings.matrix);
    const int pixelBytes = formatInfo(settings.format).bytesPerPixel;
    const size_t rowBytes = size_t(converter.rowBytes());
    const size_t frameBytes = rowBytes * size_t(header.height);
    const int jobCount = std::max<int>(1, int(jobs.size()));
    const int earlier = earlierFramesOf(settings.params.motion);
    const int64_t first = std::max<int64_t>(0, settings.rangeStart);
    const int64_t end = settings.rangeCount && *settings.rangeCount < INT64_MAX - first
                            ? first + std::max<int64_t>(0, *settings.rangeCount)
                            : INT64_MAX;
    const int64_t contextFirst = std::max<int64_t>(0, first - earlier);

    // The reader hands out frames in input order: to the jobs through `work`
    // and, as the promise of their output, to the writer's side through
    // `order`, whose bound keeps memory to a few frames per job.
    BoundedQueue<std::shared_ptr<WorkItem>> work{size_t(jobCount)};
    BoundedQueue<std::future<std::vector<OutputFrame>>> order(size_t(jobCount) + kQueuedFrames);
    BoundedQueue<OutputFrame> rendered(kQueuedFrames * (settings.fieldRate ? 2 : 1));
    const size_t spareOutputs = recycledFrames(kQueuedFrames + 2, frameBytes);
    BoundedQueue<std::vector<uint8_t>> freeOutput(spareOutputs);
    std::exception_ptr readError, writeError, jobError;
    std::mutex jobErrorMutex;
    std::atomic<bool> failed{false}, jobFailed{false};

    const size_t spareInputs = recycledFrames(kQueuedFrames + 2, frameBytes);
    const auto freeInput = std::make_shared<FreeFrames>(spareInputs);
    auto convert = [&](const Y4mFrame& in) {
        std::shared_ptr<std::vector<uint8_t>> pixels = reusedFrame(freeInput, frameBytes, spareInputs > 0);
        converter.toPixels(in, pixels->data(), int64_t(rowBytes));
        return SharedPixels(std::move(pixels));
    };

    StageThread readStage(
        [&] {
            try {
                std::deque<std::shared_ptr<DecodedFrame>> window;
                Y4mFrame in(reader.layout()), previous(reader.layout()), repaired(reader.layout());
                // Hands out the newest frame of the window once it is
                // complete (at field rate: once its re-paired frame is made).
                auto handOut = [&]() -> bool {
                    const DecodedFrame& newest = *window.back();
                    if (newest.index < first)
                        return true;
                    auto item = std::make_shared<WorkItem>();
                    item->index = newest.index;
                    for (const auto& f : window)
                        if (f->index >= newest.index - earlier) {
                            if (item->window.empty())
                                item->firstIndex = f->index;
                            item->window.push_back(f.get());
                            item->keep.push_back(f);
                        }
                    if (!order.push(item->done.get_future()))
                        return false;
                    return work.push(std::move(item));
                };
                int64_t index = 0;
                bool pending = false; // the newest frame waits for its re-paired frame
                const int64_t readEnd = end == INT64_MAX || !settings.fieldRate ? end : end + 1;
                for (; index < readEnd && reader.readFrame(in); ++index) {
                    if (index < contextFirst)
                        continue;
                    auto frame = std::make_shared<DecodedFrame>();
                    frame->index = index;
                    frame->pixels = convert(in);
                    frame->interlace = in.interlace;
                    if (pending) {
                        // The previous frame's second field, then this frame's first.
                        DecodedFrame& last = *window.back();
                        const bool upperFirst = keptFieldOf(last, settings) == 1;
                        weaveFields(upperFirst ? in : previous, upperFirst ? previous : in, repaired);
                        last.repaired = convert(repaired);
                        pending = false;
                        if (!handOut())
                            break;
                    }
                    if (index >= end)
                        break; // read only for the re-pairing
                    if (in.interlace == Y4mInterlace::Progressive) {
                        auto copy = std::make_shared<Y4mFrame>(reader.layout());
                        std::memcpy(copy->data(), in.data(), size_t(in.size()));
                        frame->passThrough = std::move(copy);
                    }
                    while (!window.empty() && window.front()->index < index - earlier)
                        window.pop_front();
                    window.push_back(std::move(frame));
                    if (settings.fieldRate) {
                        std::swap(in, previous);
                        pending = true;
                    } else if (!handOut()) {
                        break;
                    }
                }
                if (pending) {
                    // The last frame: its own first field stands in for the next one's.
                    window.back()->repaired = window.back()->pixels;
                    handOut();
                }
            } catch (...) {
                readError = std::current_exception();
            }
            work.close();
            order.close();
        },
        work, order);

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
                // The renders stop at once instead of waiting for a frame
                // the reader may never get.
                failed = true;
                order.close();
                work.close();
            }
            // Nothing more is taken: the collector stops at its next push.
            rendered.close();
            freeOutput.close();
        },
        rendered);

    std::atomic<int> mostFramesHeld{0};
    const Clip shape(PF_PixelFormat(pixelFormatCode(settings.format)), header.width, header.height);
    std::vector<std::thread> jobThreads;
    // Every job drains the queue to its end, so that no promise is left
    // waiting; after a failure the items left are dropped unrendered.
    struct JobsGuard {
        std::vector<std::thread>& threads;
        BoundedQueue<std::shared_ptr<WorkItem>>& work;
        std::atomic<bool>& failed;
        ~JobsGuard() {
            failed = true;
            work.close();
            for (std::thread& t : threads)
                t.join();
        }
    } jobsGuard{jobThreads, work, failed};
    for (int j = 0; j < jobCount; ++j)
        jobThreads.emplace_back([&, driver = jobs[size_t(j)]] {
            JobClip clips[2] = {JobClip(shape), JobClip(shape)};
            while (std::optional<std::shared_ptr<WorkItem>> item = work.pop()) {
                if (failed)
                    continue;
                WorkItem& w = **item;
                try {
                    std::vector<OutputFrame> outputs;
                    const DecodedFrame& frame = *w.window.back();
                    const int streams = settings.fieldRate ? 2 : 1;
                    for (int stream = 0; stream < streams; ++stream) {
                        // Progressive frames join the clip too: later frames may look back at them.
                        clips[stream].sync(w, stream == 1);
                        for (int held = mostFramesHeld.load(); held < clips[stream].clip().framesHeld();)
                            mostFramesHeld.compare_exchange_weak(held, clips[stream].clip().framesHeld());
                    }
                    // The renders of this frame, in time order: (stream, motion).
                    std::vector<std::pair<int, A_long>> renders;
                    for (int stream = 0; stream < streams; ++stream)
                        renders.emplace_back(stream, settings.params.motion);
                    if (settings.fieldRate && w.index == 0 && settings.params.motion != 1) {
                        // With no earlier field the motion modes show the first
                        // frame at the time of its second field: its first
                        // field is interpolated alone, as "Off" does.
                        renders = {{0, 1}, {0, settings.params.motion}};
                    }
                    for (const auto& [stream, motion] : renders) {
                        OutputFrame output;
                        if (frame.passThrough) {
                            output.passThrough = frame.passThrough;
                        } else {
                            while (std::optional<std::vector<uint8_t>> spare = freeOutput.tryPop())
                                driver->recycle(std::move(*spare));
                            RenderParams params = settings.params;
                            params.motion = motion;
                            params.fields = keptFieldOf(frame, settings);
                            if (stream == 1)
                                params.fields = 3 - params.fields;
                            const Clip& clip = clips[stream].clip();
                            RenderResult r = driver->render(clip, clip.frameCount() - 1, params, settings.protocol);
                            // A message the plug-in asks to show means its render did not
                            // finish, whatever the error code says.
                            if (r.err != PF_Err_NONE || r.showsMessage)
                                throw CliError(pluginFailure(r, w.index));
                            if (r.frame.pixels.empty())
                                throw CliError("the plug-in made no output for frame " + std::to_string(w.index));
                            output.rendered = std::move(r.frame);
                        }
                        outputs.push_back(std::move(output));
                    }
                    w.done.set_value(std::move(outputs));
                } catch (...) {
                    std::lock_guard lock(jobErrorMutex);
                    if (!jobFailed.exchange(true))
                        jobError = std::current_exception();
                    failed = true;
                }
            }
        });

    StreamResult result;
    while (std::optional<std::future<std::vector<OutputFrame>>> next = order.pop()) {
        std::vector<OutputFrame> outputs;
        try {
            outputs = next->get();
        } catch (const std::future_error&) {
            break; // dropped after a failure
        }
        bool written = true;
        for (OutputFrame& output : outputs)
            written = written && rendered.push(std::move(output));
        if (!written)
            break; // the writer failed
        ++result.frames;
        if (onFrame)
            onFrame(result.frames);
    }
    if (jobFailed) {
        // Every job ends, the reader is interrupted, and what is queued for
        // the writer is dropped: the output is not committed.
        failed = true;
        work.close();
        order.close();
        rendered.close();
        readStage.stop();
        writeStage.stop();
        for (std::thread& t : jobThreads)
            t.join();
        jobThreads.clear();
        std::rethrow_exception(jobError);
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
    result.mostFramesHeld = mostFramesHeld.load();
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return result;
}

} // namespace cli
