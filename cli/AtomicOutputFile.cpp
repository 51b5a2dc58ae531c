#include "cli/AtomicOutputFile.h"

#include "cli/CliError.h"
#include "cli/platform/CliPlatform.h"

#include <cerrno>
#include <cstring>

namespace {

std::string errorText() {
    return std::strerror(errno);
}

}  // namespace

AtomicOutputFile::AtomicOutputFile(std::string path) : path_(std::move(path)) {
    const size_t slash = path_.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : path_.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? path_ : path_.substr(slash + 1);
    if (base.empty())
        throw CliError(path_ + ": not a file name");
    std::string why;
    file_ = CliPlatform::createUniqueFile(folder + "." + base + ".tmp-", temporaryPath_, why);
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
