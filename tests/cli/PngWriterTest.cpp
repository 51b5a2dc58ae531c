#include "CliTestFiles.h"

#include "cli/CliError.h"
#include "cli/PngWriter.h"

#include <gtest/gtest.h>

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

    // Read back as a decoder would, CRCs and filter bytes checked.
    int readWidth = 0, readHeight = 0;
    const std::vector<uint8_t> back = readPng(path.string(), readWidth, readHeight);
    EXPECT_EQ(readWidth, width);
    EXPECT_EQ(readHeight, height);
    ASSERT_EQ(back.size(), size_t(width * 3 * height));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width * 3; ++x)
            ASSERT_EQ(back[size_t(y * width * 3 + x)], rgb[size_t(y * rowBytes + x)]) << x << "," << y;
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
