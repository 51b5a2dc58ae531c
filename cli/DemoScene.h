// The demo's synthetic progressive scene, 8-bit 4:2:0, with the classic
// hazards of deinterlacing laid out in four quarters:
//   top left     a static area of fine texture (weave is right, interpolation blurs it)
//   top right    a pan over fine detail (1.5 pixels per frame to the left)
//   bottom left  thin near-horizontal lines, static (one field misses them)
//   bottom right a disc moving right (3 pixels per frame) and a bar moving
//                down (2 pixels per frame) over a gradient
// Every picture is computed from continuous shapes with soft edges, so a
// moving object looks the same at every position.
#pragma once

#include "cli/Y4mFrame.h"
#include "cli/Y4mHeader.h"

namespace cli {

struct DemoScene {
    int width = 320;
    int height = 240;

    Y4mHeader header() const;   // progressive, 50 frames per second, C420jpeg
    // Renders progressive frame `t` into `frame` (laid out for header()).
    void render(int t, Y4mFrame& frame) const;
};

} // namespace cli
