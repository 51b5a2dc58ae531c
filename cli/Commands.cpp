#include "cli/Commands.h"

#include "cli/OutputFile.h"
#include "cli/CliError.h"
#include "cli/DeinterlaceStream.h"
#include "cli/FieldOrderChoice.h"
#include "cli/Demo.h"
#include "cli/FieldWeave.h"
#include "cli/IgnoreSigpipe.h"
#include "cli/MachineMemory.h"
#include "cli/PluginSession.h"
#include "cli/ProgressMeter.h"
#include "cli/Y4mReader.h"
#include "cli/Y4mWriter.h"
#include "cli/platform/CliPlatform.h"
#include "refhost/PluginReport.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <optional>
#include <stdexcept>
#include <thread>
#include <vector>

namespace cli {

namespace {


struct FileCloser {
    void operator()(std::FILE* f) const {
        if (f != stdin)
            std::fclose(f);
    }
};
using InputFile = std::unique_ptr<std::FILE, FileCloser>;

InputFile openInput(const std::string& path) {
    if (path == "-")
        return InputFile(stdin);
    InputFile f(std::fopen(path.c_str(), "rb"));
    if (!f)
        throw CliError(path + ": cannot open: " + std::strerror(errno));
    return f;
}

std::string nameOf(const std::string& path, const char* standard) { return path == "-" ? standard : path; }

// Standard output, or an output file (see OutputFile).
class Output {
public:
    explicit Output(const std::string& path) {
        if (path != "-")
            file_.emplace(path);
    }
    std::FILE* file() { return file_ ? file_->file() : stdout; }
    void commit() {
        if (file_)
            file_->commit();
        else if (std::fflush(stdout) != 0)
            throw CliError("standard output: write failed");
    }

private:
    std::optional<OutputFile> file_;
};

std::string sizeText(int64_t bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f GiB", double(bytes) / double(int64_t(1) << 30));
    return text;
}

// Refuses, before anything is allocated, a run the machine cannot hold: it
// would otherwise end in the kernel's out-of-memory killer rather than in a
// message.
void checkMemory(const Y4mHeader& header, PixelFormat format, const CliOptions& o, const std::string& name,
                 int64_t lookaheadBytes) {
    const std::optional<int64_t> limit = o.memoryLimit;
    const int64_t budget = limit ? *limit : machineMemoryBytes();
    const int64_t need = streamMemoryEstimate(header, format, o.jobs, o.fieldRate) + lookaheadBytes;
    if (budget <= 0 || need <= budget)
        return;
    throw CliError(name + ": " + std::to_string(header.width) + "x" + std::to_string(header.height) +
                   " pictures in \"" + formatName(format) + "\" need about " + sizeText(need) +
                   " of memory, more than " + (limit ? "the --memory-limit of " + sizeText(budget)
                                                      : "this machine's " + sizeText(budget)) +
                   " (--memory-limit none to run anyway)");
}

std::string pluginPathOf(const CliOptions& o) { return o.pluginPath.empty() ? defaultPluginPath() : o.pluginPath; }

int deinterlace(const CliOptions& o) {
    ignoreSigpipe();
    const std::string& inPath = o.operands[0];
    const std::string& outPath = o.operands[1];
    InputFile in = openInput(inPath);
    Y4mReader reader(in.get(), nameOf(inPath, "standard input"));
    const Y4mHeader& header = reader.header();
    const bool quiet = o.progress == ProgressMode::Never;

    StreamSettings settings;
    settings.params.motion = A_long(o.motion);
    settings.params.correctMotionErrors = o.correctErrors;
    settings.protocol = o.protocol == RenderProtocol::Smart ? refhost::Protocol::Smart : refhost::Protocol::Legacy;
    settings.format = o.format.value_or(defaultPixelFormat(header.bitDepth));
    settings.matrix = o.matrix;
    settings.fieldRate = o.fieldRate;
    settings.rangeStart = o.rangeStart;
    settings.rangeCount = o.rangeCount;
    checkMemory(header, settings.format, o, nameOf(inPath, "standard input"),
                o.fields ? 0 : cli::fieldOrderLookaheadBytes(reader));
    const FieldOrder fields = o.fields ? *o.fields : cli::chooseFieldOrder(reader, quiet, std::cerr);
    settings.params.fields = fields == FieldOrder::Upper ? 1 : 2;
    settings.fieldsFromFrameTags = !o.fields;

    // One host per job, each with its share of the processors unless told.
    const int threads =
        o.threads > 0 ? o.threads : std::max(1, int(std::max(1u, std::thread::hardware_concurrency())) / o.jobs);
    std::vector<std::unique_ptr<PluginSession>> sessions;
    std::vector<refhost::RenderDriver*> drivers;
    for (int j = 0; j < o.jobs; ++j) {
        sessions.push_back(std::make_unique<PluginSession>(pluginPathOf(o), o.host, threads));
        drivers.push_back(&sessions.back()->driver());
    }
    Output out(outPath);
    Y4mWriter writer(out.file(), o.fieldRate ? fieldRateHeaderOf(header) : header, nameOf(outPath, "standard output"));
    const bool showProgress =
        o.progress == ProgressMode::Always || (o.progress == ProgressMode::Auto && CliPlatform::standardErrorIsTerminal());
    std::optional<int64_t> total = reader.frameCount();
    if (total)
        total = std::clamp<int64_t>(*total - o.rangeStart, 0, o.rangeCount.value_or(INT64_MAX));
    ProgressMeter progress(showProgress, total);
    const StreamResult result =
        deinterlaceStream(drivers, reader, writer, settings, [&](int64_t n) { progress.update(n); });
    writer.flush();
    out.commit();
    progress.finish(result.frames);
    return 0;
}

int interlace(const CliOptions& o) {
    ignoreSigpipe();
    InputFile in = openInput(o.operands[0]);
    Y4mReader reader(in.get(), nameOf(o.operands[0], "standard input"));
    Output woven(o.operands[1]);
    Y4mWriter wovenWriter(woven.file(), interlacedHeaderOf(reader.header()), nameOf(o.operands[1], "standard output"),
                          Y4mWriter::Tag::AsGiven);
    std::optional<Output> truth;
    std::optional<Y4mWriter> truthWriter;
    if (o.operands.size() == 3) {
        truth.emplace(o.operands[2]);
        Y4mHeader h = interlacedHeaderOf(reader.header());
        h.interlace = Y4mInterlace::Progressive;
        truthWriter.emplace(truth->file(), h, o.operands[2]);
    }
    weaveStream(reader, wovenWriter, truthWriter ? &*truthWriter : nullptr);
    wovenWriter.flush();
    if (truthWriter)
        truthWriter->flush();
    woven.commit();
    if (truth)
        truth->commit();
    return 0;
}

} // namespace

int runCommand(const CliOptions& o, std::ostream& out) {
    switch (o.command) {
    case CliCommand::Help:
        out << usageText();
        return 0;
    case CliCommand::Version:
        out << "velmora " << VELMORA_VERSION << '\n';
        return 0;
    case CliCommand::Info: {
        const std::string path = pluginPathOf(o);
        if (path.empty())
            throw CliError("cannot find Velmora.so beside the program; name it with --plugin PATH");
        try {
            return refhost::printPluginReport(out, path) ? 0 : 1;
        } catch (const std::runtime_error& e) {
            throw CliError(std::string("cannot load the plug-in: ") + e.what());
        }
    }
    case CliCommand::Demo: {
        DemoSettings d;
        if (!o.operands.empty())
            d.folder = o.operands[0];
        d.pluginPath = pluginPathOf(o);
        d.host = o.host;
        d.threads = o.threads;
        runDemo(d, out);
        return 0;
    }
    case CliCommand::Interlace:
        return interlace(o);
    case CliCommand::Deinterlace:
        return deinterlace(o);
    }
    return 2;
}


} // namespace cli
