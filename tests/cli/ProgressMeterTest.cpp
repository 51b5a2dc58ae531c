// The progress line: count, percentage and time left when the total is
// known, nothing at all when disabled.
#include "CliTestFiles.h"

#include "cli/ProgressMeter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

using namespace cli;

namespace {

// What a meter writing to a file printed while `run` drove it and until it
// was destroyed.
std::string printed(bool enabled, std::optional<int64_t> total, const std::function<void(ProgressMeter&)>& run) {
    FilePtr f(std::tmpfile());
    {
        ProgressMeter meter(enabled, total, f.get());
        run(meter);
    }
    std::rewind(f.get());
    std::string text;
    for (int c; (c = std::fgetc(f.get())) != EOF;)
        text += char(c);
    return text;
}

} // namespace

TEST(ProgressMeter, OneLineRewrittenInPlaceAndEndedOnce) {
    // The first update always prints, one within a quarter second is skipped.
    const std::string known = printed(true, 4, [](ProgressMeter& meter) {
        meter.update(1);
        meter.update(2);
        meter.finish(3);
    });
    EXPECT_NE(known.find("\rvelmora: 1/4 frames (25%), "), std::string::npos) << known;
    EXPECT_NE(known.find(" s left"), std::string::npos) << known;
    EXPECT_EQ(known.find("2/4"), std::string::npos) << known;
    EXPECT_NE(known.find("\rvelmora: 3/4 frames (75%), "), std::string::npos) << known;
    EXPECT_EQ(std::count(known.begin(), known.end(), '\n'), 1) << known;
    EXPECT_EQ(known.back(), '\n');
    // Destroyed without finish (an interrupted run): the line is still ended.
    const std::string unknown = printed(true, std::nullopt, [](ProgressMeter& meter) { meter.update(7); });
    EXPECT_NE(unknown.find("\rvelmora: 7 frames, "), std::string::npos) << unknown;
    EXPECT_EQ(unknown.find('%'), std::string::npos) << unknown;
    EXPECT_EQ(unknown.back(), '\n');
    EXPECT_EQ(printed(false, 10,
                      [](ProgressMeter& meter) {
                          meter.update(5);
                          meter.finish(10);
                      }),
              "");
}
