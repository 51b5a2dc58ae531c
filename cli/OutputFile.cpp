#include "cli/OutputFile.h"

#include "cli/CliError.h"

#include <cerrno>
#include <cstring>

namespace cli {

OutputFile::~OutputFile() {
    if (file_)
        std::fclose(file_);
    if (!committed_ && !temporaryPath_.empty())
        std::remove(temporaryPath_.c_str());
    releaseSlot();
}

void OutputFile::commit() {
    errno = 0;
    const bool flushed = std::fflush(file_) == 0 && !std::ferror(file_);
    const std::string flushError = std::strerror(errno);
    const bool temporary = !temporaryPath_.empty();
    // The data reaches the disk before the name does: a crash after the
    // replacement never leaves a short file under the final name.
    std::string syncError;
    const bool synced = !temporary || !flushed || syncToDisk(syncError);
    const int closed = std::fclose(file_);
    file_ = nullptr;
    if (!flushed)
        throw CliError(path_ + ": write failed: " + flushError);
    if (!synced)
        throw CliError(path_ + ": write failed" + syncError);
    if (closed != 0)
        throw CliError(path_ + ": write failed: " + std::strerror(errno));
    if (!temporary) {
        committed_ = true;
        return;
    }
    std::string why;
    if (!replaceTarget(why))
        throw CliError(path_ + ": cannot rename the finished output into place: " + why);
    committed_ = true;
    releaseSlot();
    syncFolder();
}

} // namespace cli
