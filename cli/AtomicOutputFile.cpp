#include "cli/AtomicOutputFile.h"

#include "cli/CliError.h"
#include "cli/platform/CliPlatform.h"

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace {

std::string errorText() {
    return std::strerror(errno);
}

}  // namespace

AtomicOutputFile::AtomicOutputFile(std::string path) : path_(std::move(path)) {
    // The system's own separators: '\\' as well as '/' on Windows.
    const std::filesystem::path target(path_);
    const std::string base = target.filename().string();
    if (base.empty())
        throw CliError(path_ + ": not a file name");
    std::string why;
    file_ = CliPlatform::createUniqueFile((target.parent_path() / ("." + base + ".tmp-")).string(),
                                         temporaryPath_, why);
    if (!file_)
        throw CliError(path_ + ": cannot create output file: " + why);
}

AtomicOutputFile::~AtomicOutputFile() {
    if (file_)
        std::fclose(file_);
    if (!committed_)
        std::remove(temporaryPath_.c_str());
}

void AtomicOutputFile::commit() {
    errno = 0;
    const bool flushed = std::fflush(file_) == 0 && !std::ferror(file_);
    const std::string flushError = errorText();
    const int closed = std::fclose(file_);
    file_ = nullptr;
    if (!flushed)
        throw CliError(path_ + ": write failed: " + flushError);
    if (closed != 0)
        throw CliError(path_ + ": write failed: " + errorText());
    std::string why;
    if (!CliPlatform::replaceFile(temporaryPath_, path_, why))
        throw CliError(path_ + ": cannot rename the finished output into place: " + why);
    committed_ = true;
}
