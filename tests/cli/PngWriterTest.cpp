#include "CliTestFiles.h"

#include "cli/CliError.h"
#include "cli/PngWriter.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <fstream>
#include <iterator>

using namespace cli;

TEST(PngWriter, WritesPixelsThatReadBackExactly) {
    TempFolder folder;
    const auto path = folder.path() / "crop.png";
    const int width = 5, height = 3;
    const int64_t rowBytes = width * 3 + 7;  // rows with padding
    std::vector<uint8_t> rgb(size_t(rowBytes * height), 0xee);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width * 3; ++x)
            rgb[size_t(y * rowBytes + x)] = uint8_t(y * 50 + x * 7);
    writePngRgb8(path.string(), width, height, rgb.data(), rowBytes);

    // Read back as a decoder would: signature, chunks with their CRCs, the
    // header, then the inflated rows behind their filter bytes.
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), {});
    ASSERT_GE(file.size(), 8u);
    EXPECT_EQ(std::vector<uint8_t>(file.begin(), file.begin() + 8),
              (std::vector<uint8_t>{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'}));
    auto be32 = [&](size_t at) {
        return uint32_t(file[at]) << 24 | uint32_t(file[at + 1]) << 16 | uint32_t(file[at + 2]) << 8 | file[at + 3];
    };
    std::vector<std::string> types;
    std::vector<uint8_t> header, packed;
    for (size_t at = 8; at + 12 <= file.size();) {
        const uint32_t length = be32(at);
        ASSERT_LE(at + 12 + length, file.size());
        const std::string type(file.begin() + std::ptrdiff_t(at + 4), file.begin() + std::ptrdiff_t(at + 8));
        EXPECT_EQ(be32(at + 8 + length), uint32_t(crc32(0L, file.data() + at + 4, uInt(length + 4)))) << type;
        std::vector<uint8_t>& into = type == "IHDR" ? header : packed;
        if (type == "IHDR" || type == "IDAT")
            into.insert(into.end(), file.begin() + std::ptrdiff_t(at + 8), file.begin() + std::ptrdiff_t(at + 8 + length));
        types.push_back(type);
        at += 12 + length;
    }
    EXPECT_EQ(types, (std::vector<std::string>{"IHDR", "IDAT", "IEND"}));
    EXPECT_EQ(header, (std::vector<uint8_t>{0, 0, 0, uint8_t(width), 0, 0, 0, uint8_t(height), 8, 2, 0, 0, 0}));
    std::vector<uint8_t> back(size_t((width * 3 + 1) * height));
    uLongf backSize = uLongf(back.size());
    ASSERT_EQ(uncompress(back.data(), &backSize, packed.data(), uLong(packed.size())), Z_OK);
    ASSERT_EQ(backSize, back.size());
    for (int y = 0; y < height; ++y) {
        ASSERT_EQ(back[size_t(y * (width * 3 + 1))], 0) << "filter of row " << y;
        for (int x = 0; x < width * 3; ++x)
            ASSERT_EQ(back[size_t(y * (width * 3 + 1) + 1 + x)], rgb[size_t(y * rowBytes + x)]) << x << "," << y;
    }
    EXPECT_EQ(folder.entries(), std::vector<std::string>{"crop.png"});
}

TEST(PngWriter, FailuresLeaveNoFile) {
    TempFolder folder;
    std::vector<uint8_t> rgb(12);
    EXPECT_THROW(writePngRgb8((folder.path() / "none" / "x.png").string(), 2, 2, rgb.data(), 6), CliError);
    EXPECT_THROW(writePngRgb8((folder.path() / "x.png").string(), 0, 2, rgb.data(), 6), CliError);
    EXPECT_THROW(writePngRgb8((folder.path() / "x.png").string(), 3, 2, rgb.data(), 6), CliError);  // short rows
    EXPECT_TRUE(folder.entries().empty());
}
