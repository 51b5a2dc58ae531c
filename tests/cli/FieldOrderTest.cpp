// The field order of untagged streams, measured on their first frames.
#include "CliTestFiles.h"

#include "cli/CliError.h"
#include "cli/DemoScene.h"
#include "cli/FieldOrderChoice.h"
#include "cli/FieldOrderDetection.h"
#include "cli/FieldWeave.h"
#include "cli/Y4mReader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>

using namespace cli;

namespace {

enum class Scene { UpperFirst, LowerFirst, Progressive, Still };

constexpr int kFrames = 30;

// Progressive frame t of the demo scene at 128x96, rendered once.
const Y4mFrame& sceneAt(int t) {
    static const std::vector<Y4mFrame> frames = [] {
        DemoScene demo;
        demo.width = 128;
        demo.height = 96;
        std::vector<Y4mFrame> all;
        for (int i = 0; i < 2 * kFrames; ++i)
            demo.render(i, all.emplace_back(Y4mFrameLayout(demo.header())));
        return all;
    }();
    return frames[size_t(t)];
}

// kFrames frames of the scene with no interlace tag in the header, each FRAME
// line carrying `frameTag` (e.g. " It"); the pictures in `pictures`.
std::string sceneStream(Scene scene, const std::string& frameTag, std::vector<std::string>& pictures) {
    std::string bytes = "YUV4MPEG2 W128 H96 F25:1 C420jpeg\n";
    Y4mFrame woven(sceneAt(0).layout());
    for (int i = 0; i < kFrames; ++i) {
        const int t = scene == Scene::Still ? 0 : scene == Scene::Progressive ? i : 2 * i;
        const int later = scene == Scene::UpperFirst || scene == Scene::LowerFirst ? t + 1 : t;
        // The field shown first comes from the earlier moment.
        const bool lowerFirst = scene == Scene::LowerFirst;
        weaveFields(sceneAt(lowerFirst ? later : t), sceneAt(lowerFirst ? t : later), woven);
        pictures.emplace_back(reinterpret_cast<const char*>(woven.data()), size_t(woven.size()));
        bytes += "FRAME" + frameTag + "\n" + pictures.back();
    }
    return bytes;
}

} // namespace

// Width 1, rows woven 10, 0, 30, 0: |2*0 - 10 - 30| + |2*30 - 0 - 0|.
TEST(FieldOrder, CombingOfAWeaveFollowsItsDefinition) {
    const Y4mFrameLayout layout(parseY4mHeader("YUV4MPEG2 W1 H4 Cmono"));
    Y4mFrame upper(layout), lower(layout);
    const uint8_t upperRows[] = {10, 99, 30, 99}, lowerRows[] = {77, 0, 77, 0};
    std::memcpy(upper.data(), upperRows, 4);
    std::memcpy(lower.data(), lowerRows, 4);
    EXPECT_EQ(weaveCombing(upper, lower), 100);
}

// Moving scenes woven either way round are found in their order, progressive
// ones passed through, a still one left undecided (upper, with a warning);
// frames with tags of their own keep them and are not measured. Every frame
// read for the measurement still comes out, in order, with the order found.
TEST(FieldOrder, UntaggedStreamsAreMeasuredAndNoFrameIsLost) {
    struct Case {
        Scene scene;
        std::string frameTag;
        bool quiet;
        FieldOrder kept;
        Y4mInterlace handedOut;
        std::string message;
    } cases[] = {
        {Scene::UpperFirst, "", false, FieldOrder::Upper, Y4mInterlace::TopFirst, "field order: upper field first"},
        {Scene::LowerFirst, "", false, FieldOrder::Lower, Y4mInterlace::BottomFirst, "field order: lower field first"},
        {Scene::LowerFirst, "", true, FieldOrder::Lower, Y4mInterlace::BottomFirst, ""},
        {Scene::Progressive, "", false, FieldOrder::Upper, Y4mInterlace::Progressive,
         "field order: progressive (measured over 24 frames: "},
        {Scene::Still, "", false, FieldOrder::Upper, Y4mInterlace::Unspecified,
         "warning: field order undecided (measured over 24 frames: too little motion"},
        {Scene::LowerFirst, " It", false, FieldOrder::Upper, Y4mInterlace::TopFirst, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.scene));
        std::vector<std::string> pictures;
        FilePtr file = fileWithBytes(sceneStream(c.scene, c.frameTag, pictures));
        Y4mReader reader(file.get(), "scene");
        std::ostringstream messages;
        EXPECT_EQ(chooseFieldOrder(reader, c.quiet, messages), c.kept);
        if (c.message.empty())
            EXPECT_EQ(messages.str(), "");
        else
            EXPECT_NE(messages.str().find(c.message), std::string::npos) << messages.str();
        Y4mFrame frame(reader.layout());
        size_t n = 0;
        for (; reader.readFrame(frame); ++n) {
            ASSERT_LT(n, pictures.size());
            EXPECT_EQ(frame.interlace, c.handedOut);
            EXPECT_EQ(std::string(reinterpret_cast<const char*>(frame.data()), size_t(frame.size())), pictures[n]);
        }
        EXPECT_EQ(n, pictures.size());
    }
}

// A bad frame met while reading ahead is reported when the caller reaches
// it, after the good frames before it.
TEST(FieldOrder, ABadFrameReadAheadFailsWhereItStands) {
    std::string bytes = "YUV4MPEG2 W4 H2 Cmono\n";
    for (int i = 0; i < 3; ++i)
        bytes += "FRAME\n" + std::string(8, char('a' + i));
    bytes += "FRAME\nabc";
    FilePtr file = fileWithBytes(bytes);
    Y4mReader reader(file.get(), "short");
    EXPECT_EQ(reader.readAhead(10).size(), 3u);
    Y4mFrame frame(reader.layout());
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(reader.readFrame(frame));
        EXPECT_EQ(frame.data()[7], 'a' + i);
    }
    EXPECT_THROW(reader.readFrame(frame), CliError);
}
