#include "cli/PngWriter.h"

#include "cli/OutputFile.h"
#include "cli/CliError.h"

#include <zlib.h>

#include <cstdio>
#include <vector>

namespace cli {

namespace {

void putBigEndian32(std::vector<uint8_t>& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(uint8_t(v >> shift));
}

// One chunk: length, type, data, and the CRC of type and data.
void appendChunk(std::vector<uint8_t>& out, const char (&type)[5], const std::vector<uint8_t>& data) {
    putBigEndian32(out, uint32_t(data.size()));
    const size_t typeAt = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    const uLong crc = crc32(0L, out.data() + typeAt, uInt(out.size() - typeAt));
    putBigEndian32(out, uint32_t(crc));
}

}  // namespace

void writePngRgb8(const std::string& path, int width, int height, const uint8_t* rgb, int64_t rowBytes) {
    if (width <= 0 || height <= 0 || rowBytes < int64_t(width) * 3)
        throw CliError(path + ": cannot write an empty or malformed picture");
    // Every row starts with its filter type; 0 stores the pixels as they are.
    const size_t rowSize = size_t(width) * 3;
    std::vector<uint8_t> rows;
    rows.reserve((rowSize + 1) * size_t(height));
    for (int y = 0; y < height; ++y) {
        const uint8_t* row = rgb + int64_t(y) * rowBytes;
        rows.push_back(0);
        rows.insert(rows.end(), row, row + rowSize);
    }
    uLongf packedSize = compressBound(uLong(rows.size()));
    std::vector<uint8_t> packed(packedSize);
    if (compress2(packed.data(), &packedSize, rows.data(), uLong(rows.size()), Z_DEFAULT_COMPRESSION) != Z_OK)
        throw CliError(path + ": PNG encoding failed");
    packed.resize(packedSize);

    std::vector<uint8_t> header;
    putBigEndian32(header, uint32_t(width));
    putBigEndian32(header, uint32_t(height));
    header.insert(header.end(), {8, 2, 0, 0, 0});  // 8-bit RGB, deflate, no interlacing

    std::vector<uint8_t> file{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    appendChunk(file, "IHDR", header);
    appendChunk(file, "IDAT", packed);
    appendChunk(file, "IEND", {});

    OutputFile output(path);
    std::fwrite(file.data(), 1, file.size(), output.file());
    output.commit();  // reports a failed write
}

} // namespace cli
