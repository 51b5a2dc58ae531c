#include "cli/BitmapText.h"

namespace cli {

namespace {

struct Glyph {
    char c;
    const char* rows[kGlyphHeight];  // '#': ink
};

// The letters of the demo's labels, drawn by hand.
constexpr Glyph kGlyphs[] = {
    {'B', {"####.", "#...#", "#...#", "####.", "#...#", "#...#", "####."}},
    {'F', {"#####", "#....", "#....", "####.", "#....", "#....", "#...."}},
    {'O', {".###.", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."}},
    {'a', {".....", ".....", ".###.", "....#", ".####", "#...#", ".####"}},
    {'c', {".....", ".....", ".###.", "#....", "#....", "#....", ".###."}},
    {'d', {"....#", "....#", ".####", "#...#", "#...#", "#...#", ".####"}},
    {'e', {".....", ".....", ".###.", "#...#", "#####", "#....", ".###."}},
    {'f', {"..##.", ".#...", ".#...", "####.", ".#...", ".#...", ".#..."}},
    {'h', {"#....", "#....", "#.##.", "##..#", "#...#", "#...#", "#...#"}},
    {'i', {"..#..", ".....", ".##..", "..#..", "..#..", "..#..", ".###."}},
    {'l', {".##..", "..#..", "..#..", "..#..", "..#..", "..#..", ".###."}},
    {'n', {".....", ".....", "#.##.", "##..#", "#...#", "#...#", "#...#"}},
    {'r', {".....", ".....", "#.##.", "##..#", "#....", "#....", "#...."}},
    {'s', {".....", ".....", ".####", "#....", ".###.", "....#", "####."}},
    {'t', {".#...", ".#...", "####.", ".#...", ".#...", ".#..#", "..##."}},
    {'u', {".....", ".....", "#...#", "#...#", "#...#", "#..##", ".##.#"}},
};

constexpr Glyph kBlank = {' ', {".....", ".....", ".....", ".....", ".....", ".....", "....."}};
constexpr Glyph kMissing = {'?', {"#####", "#####", "#####", "#####", "#####", "#####", "#####"}};

const Glyph* findGlyph(char c) {
    for (const Glyph& g : kGlyphs)
        if (g.c == c)
            return &g;
    return c == ' ' ? &kBlank : nullptr;
}

} // namespace

bool hasGlyph(char c) { return findGlyph(c) != nullptr; }

int bitmapTextWidth(std::string_view text, int scale) {
    return text.empty() ? 0 : (int(text.size()) * kGlyphAdvance - 1) * scale;
}

void drawBitmapText(uint8_t* rgb, int width, int height, int64_t rowBytes, int x, int y, std::string_view text,
                    int scale, const uint8_t (&colour)[3]) {
    for (size_t i = 0; i < text.size(); ++i) {
        const Glyph* found = findGlyph(text[i]);
        const Glyph& glyph = found ? *found : kMissing;
        const int left = x + int(i) * kGlyphAdvance * scale;
        for (int row = 0; row < kGlyphHeight * scale; ++row) {
            const int py = y + row;
            if (py < 0 || py >= height)
                continue;
            for (int column = 0; column < kGlyphWidth * scale; ++column) {
                const int px = left + column;
                if (px < 0 || px >= width || glyph.rows[row / scale][column / scale] != '#')
                    continue;
                uint8_t* pixel = rgb + int64_t(py) * rowBytes + int64_t(px) * 3;
                pixel[0] = colour[0];
                pixel[1] = colour[1];
                pixel[2] = colour[2];
            }
        }
    }
}

} // namespace cli
