// libFuzzer target for the command's whole streaming path: a Y4M stream read,
// converted, rendered by the plug-in through the reference host and written,
// with the settings taken from the input's first two bytes. Frames are kept
// small so that each run stays quick.
#include "cli/CliError.h"
#include "cli/DeinterlaceStream.h"
#include "cli/Y4mReader.h"
#include "cli/Y4mWriter.h"
#include "refhost/PluginLibrary.h"
#include "refhost/RefHost.h"
#include "refhost/RenderDriver.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

using namespace cli;
using namespace refhost;

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

constexpr int64_t kMostPixels = 64 * 64;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3)
        return 0;
    const uint8_t choice = data[0], more = data[1];
    FilePtr in(fmemopen(const_cast<uint8_t*>(data + 2), size - 2, "rb"));
    // Declared before the stream that fills it, so that it is freed after the
    // stream is closed (which writes its final buffer), on every return.
    struct Written {
        char* bytes = nullptr;
        size_t size = 0;
        ~Written() { std::free(bytes); }
    } written;
    FilePtr out(open_memstream(&written.bytes, &written.size));
    if (!in || !out)
        return 0;
    try {
        Y4mReader reader(in.get(), "fuzz");
        if (int64_t(reader.header().width) * reader.header().height > kMostPixels)
            return 0;
        Y4mWriter writer(out.get(), reader.header(), "fuzz output");
        StreamSettings settings;
        settings.format = PixelFormat(refhost::allPixelFormats()[choice % refhost::allPixelFormats().size()].code);
        settings.params.motion = A_long(choice / 16 % 4 + 1);
        settings.params.fields = A_long(more % 2 + 1);
        settings.params.correctMotionErrors = (more & 2) != 0;
        settings.protocol = (more & 4) != 0 ? Protocol::Legacy : Protocol::Smart;
        settings.matrix = (more & 8) != 0 ? ColourMatrix::BT601 : ColourMatrix::BT709;
        static PluginLibrary plugin(VELMORA_PLUGIN_PATH);
        RefHost host(HostProfile::afterEffects().withWorkers(more & 16 ? 2 : 1).withRecycledMemory(), plugin.entry());
        RenderDriver driver(host);
        try {
            deinterlaceStream(driver, reader, writer, settings);
            writer.flush();
        } catch (const CliError&) {
        }
        // Whether the stream ended well or not, the plug-in holds nothing.
        if (!host.ledger().nothingHeld())
            std::abort();
    } catch (const CliError&) {
    }
    return 0;
}
