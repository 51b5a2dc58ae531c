// The progress line: count, percentage and time left when the total is
// known, nothing at all when disabled.
#include "CliTestFiles.h"

#include "cli/ProgressMeter.h"

#include <gtest/gtest.h>

using namespace cli;

namespace {

std::string contents(std::FILE* f) {
    std::fflush(f);
    std::rewind(f);
    std::string text;
    char buffer[256];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
        text.append(buffer, n);
    return text;
}

} // namespace

TEST(ProgressMeter, KnownTotalShowsPercentageAndEndsTheLine) {
    FilePtr f(std::tmpfile());
    {
        ProgressMeter meter(true, 4, f.get());
        meter.update(1);  // the first update always prints
        meter.update(2);  // within a quarter second: skipped
        meter.finish(3);
    }
    const std::string text = contents(f.get());
    EXPECT_NE(text.find("\rvelmora: 1/4 frames (25%), "), std::string::npos) << text;
    EXPECT_NE(text.find(" s left"), std::string::npos) << text;
    EXPECT_EQ(text.find("2/4"), std::string::npos) << text;
    EXPECT_NE(text.find("\rvelmora: 3/4 frames (75%), "), std::string::npos) << text;
    EXPECT_EQ(text.back(), '\n');
}

TEST(ProgressMeter, UnknownTotalAndInterruptedRun) {
    FilePtr f(std::tmpfile());
    {
        ProgressMeter meter(true, std::nullopt, f.get());
        meter.update(7);
    }  // destroyed without finish: the line is still ended
    const std::string text = contents(f.get());
    EXPECT_NE(text.find("\rvelmora: 7 frames, "), std::string::npos) << text;
    EXPECT_EQ(text.find('%'), std::string::npos) << text;
    EXPECT_EQ(text.back(), '\n');
}

TEST(ProgressMeter, DisabledPrintsNothing) {
    FilePtr f(std::tmpfile());
    {
        ProgressMeter meter(false, 10, f.get());
        meter.update(5);
        meter.finish(10);
    }
    EXPECT_EQ(contents(f.get()), "");
}
