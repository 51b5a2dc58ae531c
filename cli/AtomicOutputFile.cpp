#include "cli/AtomicOutputFile.h"

#include "cli/CliError.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

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
    std::string pattern = folder + "." + base + ".tmp-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = mkstemp(name.data());
    if (fd < 0)
        throw CliError(path_ + ": cannot create output file: " + errorText());
    temporaryPath_ = name.data();
    // mkstemp makes the file private; give it the mode a plain creation would.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    file_ = fdopen(fd, "wb");
    if (!file_) {
        const std::string why = errorText();
        close(fd);
        unlink(temporaryPath_.c_str());
        throw CliError(path_ + ": cannot open output file: " + why);
    }
}

AtomicOutputFile::~AtomicOutputFile() {
    if (file_)
        std::fclose(file_);
    if (!committed_)
        unlink(temporaryPath_.c_str());
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
    if (std::rename(temporaryPath_.c_str(), path_.c_str()) != 0)
        throw CliError(path_ + ": cannot rename the finished output into place: " + errorText());
    committed_ = true;
}
