// Writes an 8-bit RGB picture as a PNG file (through OutputFile: a
// failed write leaves no file).
#pragma once

#include <cstdint>
#include <string>

namespace cli {

// `rgb` addresses pixel (0, 0), three bytes R, G, B per pixel, rows
// `rowBytes` apart. Throws CliError naming the problem.
void writePngRgb8(const std::string& path, int width, int height, const uint8_t* rgb, int64_t rowBytes);

} // namespace cli
