// libFuzzer target for the Y4M reader and the frame conversions behind it.
#include "cli/CliError.h"
#include "cli/FieldOrderChoice.h"
#include "cli/PixelConversion.h"
#include "cli/Y4mReader.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <sstream>
#include <vector>

using namespace cli;

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    std::unique_ptr<std::FILE, FileCloser> in(fmemopen(const_cast<uint8_t*>(data), size, "rb"));
    if (!in)
        return 0;
    try {
        Y4mReader reader(in.get(), "fuzz");
        // Large pictures are valid but make the run slow, not more thorough.
        if (reader.layout().frameBytes > (int64_t(1) << 22))
            return 0;
        const PixelFormat format = PixelFormat(refhost::allPixelFormats()[size % refhost::allPixelFormats().size()].code);
        const ColourMatrix matrix = size & 16 ? ColourMatrix::BT601 : ColourMatrix::BT709;
        FrameConverter converter(reader.header(), format, matrix);
        // Half the inputs have their field order measured first, on frames read ahead.
        if (size & 32) {
            std::ostringstream messages;
            cli::chooseFieldOrder(reader, false, messages);
        }
        Y4mFrame frame(reader.layout());
        std::vector<float> pixels(size_t(converter.rowBytes() / 4 + 1) * size_t(reader.header().height));
        for (int i = 0; i < 4 && reader.readFrame(frame); ++i) {
            auto* bytes = reinterpret_cast<uint8_t*>(pixels.data());
            converter.toPixels(frame, bytes, converter.rowBytes());
            converter.fromPixels(bytes, converter.rowBytes(), frame);
        }
    } catch (const CliError&) {
    }
    return 0;
}
