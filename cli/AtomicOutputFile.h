// An output file written under a temporary name in the destination's folder
// and renamed to its final name only by commit(). Destroyed without commit
// (an error, an exception), it removes the temporary file: a failed run leaves
// nothing behind.
#pragma once

#include <cstdio>
#include <string>

class AtomicOutputFile {
public:
    explicit AtomicOutputFile(std::string path);
    ~AtomicOutputFile();
    AtomicOutputFile(const AtomicOutputFile&) = delete;
    AtomicOutputFile& operator=(const AtomicOutputFile&) = delete;

    std::FILE* file() { return file_; }
    const std::string& path() const { return path_; }
    const std::string& temporaryPath() const { return temporaryPath_; }

    // Flushes, closes and renames; throws CliError on any failure (and the
    // temporary file is then removed by the destructor).
    void commit();

private:
    std::string path_;
    std::string temporaryPath_;
    std::FILE* file_ = nullptr;
    bool committed_ = false;
};
