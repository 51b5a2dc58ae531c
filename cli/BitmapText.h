// Text drawn into RGB pictures with a small built-in bitmap font, for the
// labels of the demo's pictures: no font files, nothing to install.
#pragma once

#include <cstdint>
#include <string_view>

namespace cli {

// Each glyph is 5 x 7 cells, one blank column between glyphs; a drawn cell is
// `scale` x `scale` pixels.
inline constexpr int kGlyphWidth = 5, kGlyphHeight = 7, kGlyphAdvance = 6;

// Whether the font has a glyph for `c` (a space is always blank).
bool hasGlyph(char c);

// Width in pixels of `text` at `scale`, without a trailing gap.
int bitmapTextWidth(std::string_view text, int scale);

// Draws `text` with its top left corner at (x, y) into the picture `rgb`
// (three bytes a pixel, rows `rowBytes` apart, `width` x `height`), cells
// outside the picture left out. A character without a glyph is drawn as a
// filled box, so that it shows.
void drawBitmapText(uint8_t* rgb, int width, int height, int64_t rowBytes, int x, int y, std::string_view text,
                    int scale, const uint8_t (&colour)[3]);

} // namespace cli
