#include "CliTestFiles.h"

#include <zlib.h>

#include <cstring>
#include <fstream>
#include <iterator>

using namespace cli;

TempFolder::TempFolder() {
    std::random_device entropy;
    // create_directory is false when the name is taken: then try another.
    do
        path_ = std::filesystem::temp_directory_path() / ("velmora-cli-" + std::to_string(entropy()));
    while (!std::filesystem::create_directory(path_));
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::vector<std::string> TempFolder::entries() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path_))
        names.push_back(entry.path().filename().string());
    return names;
}

FilePtr fileWithBytes(const std::string& bytes) {
    FilePtr file(std::tmpfile());
    std::fwrite(bytes.data(), 1, bytes.size(), file.get());
    std::rewind(file.get());
    return file;
}

int sample(const Y4mFrame& frame, int plane, int x, int y) {
    return frame.layout().sampleBytes == 1 ? frame.row<uint8_t>(plane, y)[x] : frame.row<uint16_t>(plane, y)[x];
}

void setSample(Y4mFrame& frame, int plane, int x, int y, int value) {
    if (frame.layout().sampleBytes == 1)
        frame.row<uint8_t>(plane, y)[x] = uint8_t(value);
    else
        frame.row<uint16_t>(plane, y)[x] = uint16_t(value);
}

void fillRandom(Y4mFrame& frame, int bits, std::mt19937& random) {
    const Y4mFrameLayout& layout = frame.layout();
    std::uniform_int_distribution<int> code(0, (1 << bits) - 1);
    for (int p = 0; p < layout.planes; ++p)
        for (int y = 0; y < layout.height[p]; ++y)
            for (int x = 0; x < layout.width[p]; ++x)
                setSample(frame, p, x, y, code(random));
}

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
}

std::vector<uint8_t> readPng(const std::string& path, int& width, int& height) {
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), {});
    const auto be32 = [](const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; };
    static const uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    width = height = 0;
    if (file.size() < 8 || std::memcmp(file.data(), signature, 8) != 0)
        return {};
    std::string types;
    std::vector<uint8_t> header, packed;
    for (size_t at = 8; at + 12 <= file.size();) {
        const uint32_t length = be32(&file[at]);
        if (at + 12 + length > file.size() ||
            be32(&file[at + 8 + length]) != uint32_t(crc32(0L, file.data() + at + 4, uInt(length + 4))))
            return {};
        types.append(file.begin() + std::ptrdiff_t(at + 4), file.begin() + std::ptrdiff_t(at + 8));
        std::vector<uint8_t>& into = types.size() == 4 ? header : packed;
        into.insert(into.end(), file.begin() + std::ptrdiff_t(at + 8), file.begin() + std::ptrdiff_t(at + 8 + length));
        at += 12 + length;
    }
    static const uint8_t rgb8[5] = {8, 2, 0, 0, 0};
    if (types != "IHDRIDATIEND" || header.size() != 13 || std::memcmp(&header[8], rgb8, 5) != 0)
        return {};
    width = int(be32(&header[0]));
    height = int(be32(&header[4]));
    const size_t row = size_t(width) * 3;
    std::vector<uint8_t> rows((row + 1) * size_t(height));
    uLongf size = uLongf(rows.size());
    if (width <= 0 || uncompress(rows.data(), &size, packed.data(), uLong(packed.size())) != Z_OK || size != rows.size())
        return {};
    std::vector<uint8_t> rgb;
    for (int y = 0; y < height; ++y) {
        const auto start = rows.begin() + std::ptrdiff_t(size_t(y) * (row + 1));
        if (*start != 0)
            return {};
        rgb.insert(rgb.end(), start + 1, start + 1 + std::ptrdiff_t(row));
    }
    return rgb;
}
