// An output file of the command. A regular file (or a new one) is written
// under a temporary name in its folder and renamed to its final name only by
// commit(), after the data reached the disk: a failed or interrupted run
// leaves the old file as it was and no temporary file (SIGINT, SIGTERM and
// SIGHUP remove it before the process ends). A symbolic link is followed: its
// target is replaced, keeping its mode and owner, and the link stays. Anything
// else (a device, a FIFO, a /dev/fd path) is written directly, as it cannot
// be replaced.
#pragma once

#include <cstdio>
#include <string>

namespace cli {

class OutputFile {
public:
    // Throws CliError when the file cannot be created or opened, or is
    // read-only.
    explicit OutputFile(std::string path);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    std::FILE* file() { return file_; }
    const std::string& path() const { return path_; }
    // Empty when the output is written directly.
    const std::string& temporaryPath() const { return temporaryPath_; }

    // Flushes and closes; a regular file is synced, renamed into place and
    // its folder synced. Throws CliError on any failure (and the temporary
    // file is then removed by the destructor).
    void commit();

private:
    // Each platform's file (cli/platform/<Platform>OutputFile.cpp) defines
    // these; the destructor and commit() are common.
    void openDirectly(const std::string& path);
    void openTemporary(const std::string& target);
    // Brings the temporary file's data to the disk; false with `why` (to
    // follow "write failed") when that fails.
    bool syncToDisk(std::string& why);
    // Moves the finished temporary file over the target; false with `why`.
    bool replaceTarget(std::string& why);
    // Makes the replacement itself durable where the platform needs that.
    void syncFolder();
    // Takes the temporary file off the list the interrupt handler removes.
    void releaseSlot();

    std::string path_;
    std::string target_;         // the file renamed over: path_ with links followed
    std::string temporaryPath_;
    std::FILE* file_ = nullptr;
    int slot_ = -1;              // entry in the list of files the signal handler removes
    bool committed_ = false;
};

} // namespace cli
