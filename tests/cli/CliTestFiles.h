// Temporary folders and stream helpers for the command library's tests.
#pragma once

#include "cli/CliError.h"
#include "cli/Y4mFrame.h"

#include <cstdio>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

// A fresh folder removed with everything in it at the end of the test.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    const std::filesystem::path& path() const { return path_; }
    std::vector<std::string> entries() const;

private:
    std::filesystem::path path_;
};

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// The whole file's bytes.
std::string readFile(const std::filesystem::path& path);

// A FILE* reading the given bytes from a real (seekable) temporary file.
FilePtr fileWithBytes(const std::string& bytes);

// The message of the CliError that `run` throws; empty when it throws none.
template <class Run>
std::string errorOf(Run&& run) {
    try {
        run();
    } catch (const cli::CliError& e) {
        return e.what();
    }
    return {};
}

// A sample of a plane of 8-bit or deeper codes.
int sample(const cli::Y4mFrame& frame, int plane, int x, int y);
void setSample(cli::Y4mFrame& frame, int plane, int x, int y, int value);

// Fills every plane of `frame` with random codes of `bits` bits.
void fillRandom(cli::Y4mFrame& frame, int bits, std::mt19937& random);

// A PNG as the command writes it (signature, IHDR, IDAT, IEND with their
// CRCs, 8-bit RGB, every row unfiltered): its RGB bytes, width and height.
// Anything else reads as empty.
std::vector<uint8_t> readPng(const std::string& path, int& width, int& height);
