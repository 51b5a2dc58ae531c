#include "cli/PngWriter.h"

#include "cli/OutputFile.h"
#include "cli/CliError.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>

namespace {

struct PngErrorText {
    char text[256] = "unknown libpng error";
};

void onPngError(png_structp png, png_const_charp message) {
    auto* error = static_cast<PngErrorText*>(png_get_error_ptr(png));
    std::snprintf(error->text, sizeof error->text, "%s", message);
    png_longjmp(png, 1);
}

void onPngWarning(png_structp, png_const_charp) {}

// libpng reports errors by longjmp: this function holds no object with a
// destructor, so the jump skips nothing that needs cleaning up.
bool encode(std::FILE* file, int width, int height, const uint8_t* rgb, int64_t rowBytes, PngErrorText& error) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &error, onPngError, onPngWarning);
    if (!png)
        return false;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < height; ++y)
        png_write_row(png, rgb + int64_t(y) * rowBytes);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

}  // namespace

void writePngRgb8(const std::string& path, int width, int height, const uint8_t* rgb, int64_t rowBytes) {
    if (width <= 0 || height <= 0 || rowBytes < int64_t(width) * 3)
        throw CliError(path + ": cannot write an empty or malformed picture");
    OutputFile output(path);
    PngErrorText error;
    if (!encode(output.file(), width, height, rgb, rowBytes, error))
        throw CliError(path + ": PNG encoding failed: " + error.text);
    output.commit();
}
