#include "cli/Y4mHeader.h"

#include "cli/CliError.h"

namespace cli {


namespace {

[[noreturn]] void fail(const std::string& what) {
    throw CliError("malformed Y4M header: " + what);
}

// The header's interlace letters, read and written; "?" is read only, as an
// unspecified order is written as no tag.
struct InterlaceLetter {
    std::string_view letter;
    Y4mInterlace interlace;
};
constexpr InterlaceLetter kInterlaceLetters[] = {
    {"p", Y4mInterlace::Progressive},
    {"t", Y4mInterlace::TopFirst},
    {"b", Y4mInterlace::BottomFirst},
    {"m", Y4mInterlace::Mixed},
    {"?", Y4mInterlace::Unspecified},
};

// Decimal digits only, no sign, no overflow past `limit`.
bool parseDecimal(std::string_view text, int64_t limit, int64_t& value) {
    if (text.empty() || text.size() > 18)
        return false;
    int64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + (c - '0');
    }
    if (v > limit)
        return false;
    value = v;
    return true;
}

bool parseRatio(std::string_view text, int64_t& num, int64_t& den) {
    const size_t colon = text.find(':');
    if (colon == std::string_view::npos)
        return false;
    return parseDecimal(text.substr(0, colon), INT32_MAX, num) &&
           parseDecimal(text.substr(colon + 1), INT32_MAX, den);
}

int parseDimension(std::string_view text, const char* name) {
    int64_t v = 0;
    if (!parseDecimal(text, INT64_MAX / 16, v))
        fail(std::string("bad ") + name + " '" + std::string(text) + "'");
    if (v == 0)
        fail(std::string(name) + " is 0");
    if (v > kY4mMaxSide)
        fail(std::string(name) + " " + std::to_string(v) + " exceeds " + std::to_string(kY4mMaxSide));
    return int(v);
}

// "420jpeg", "420p10", "mono12", ... Returns false for tags we do not read.
bool parseChromaTag(std::string_view tag, Y4mChroma& chroma, int& bitDepth) {
    bitDepth = 8;
    std::string_view rest;
    if (tag.substr(0, 4) == "mono") {
        chroma = Y4mChroma::Mono;
        rest = tag.substr(4);
        if (rest.empty())
            return true;
        int64_t bits = 0;
        if (!parseDecimal(rest, 16, bits) || bits < 9 || rest[0] == '0')
            return false;
        bitDepth = int(bits);
        return true;
    }
    const std::string_view base = tag.substr(0, 3);
    if (base == "420")
        chroma = Y4mChroma::C420;
    else if (base == "422")
        chroma = Y4mChroma::C422;
    else if (base == "444")
        chroma = Y4mChroma::C444;
    else
        return false;
    rest = tag.substr(3);
    if (rest.empty())
        return true;
    if (chroma == Y4mChroma::C420 && (rest == "jpeg" || rest == "paldv" || rest == "mpeg2"))
        return true;
    if (rest[0] != 'p')
        return false;
    int64_t bits = 0;
    if (!parseDecimal(rest.substr(1), 16, bits) || bits < 9 || rest[1] == '0')
        return false;
    bitDepth = int(bits);
    return true;
}

}  // namespace

std::string y4mChromaTag(Y4mChroma chroma, int bitDepth) {
    std::string tag;
    switch (chroma) {
    case Y4mChroma::Mono:
        tag = "mono";
        if (bitDepth != 8)
            tag.append(std::to_string(bitDepth));
        return tag;
    case Y4mChroma::C420:
        tag = bitDepth == 8 ? "420jpeg" : "420";
        break;
    case Y4mChroma::C422:
        tag = "422";
        break;
    case Y4mChroma::C444:
        tag = "444";
        break;
    }
    if (bitDepth != 8)
        tag.append(1, 'p').append(std::to_string(bitDepth));
    return tag;
}

Y4mHeader parseY4mHeader(std::string_view line) {
    static constexpr std::string_view magic = "YUV4MPEG2";
    if (line.substr(0, magic.size()) != magic || (line.size() > magic.size() && line[magic.size()] != ' '))
        throw CliError("not a Y4M stream (the header does not start with YUV4MPEG2)");

    Y4mHeader header;
    bool haveWidth = false, haveHeight = false;
    size_t pos = magic.size();
    while (pos < line.size()) {
        if (line[pos] == ' ') {
            ++pos;
            continue;
        }
        size_t end = line.find(' ', pos);
        if (end == std::string_view::npos)
            end = line.size();
        const std::string_view token = line.substr(pos, end - pos);
        pos = end;
        const std::string_view value = token.substr(1);
        switch (token[0]) {
        case 'W':
            header.width = parseDimension(value, "width (W)");
            haveWidth = true;
            break;
        case 'H':
            header.height = parseDimension(value, "height (H)");
            haveHeight = true;
            break;
        case 'C':
            if (!parseChromaTag(value, header.chroma, header.bitDepth))
                throw CliError("unsupported Y4M colour space C" + std::string(value));
            header.chromaTag = std::string(value);
            break;
        case 'I': {
            const InterlaceLetter* known = nullptr;
            for (const InterlaceLetter& entry : kInterlaceLetters)
                if (value == entry.letter)
                    known = &entry;
            if (known == nullptr)
                fail("bad interlace tag I" + std::string(value));
            header.interlace = known->interlace;
            break;
        }
        case 'F':
            if (!parseRatio(value, header.frameRateNum, header.frameRateDen) || header.frameRateNum == 0 ||
                header.frameRateDen == 0)
                fail("bad frame rate F" + std::string(value));
            header.frameRate = std::string(value);
            break;
        case 'A': {
            int64_t num = 0, den = 0;
            if (!parseRatio(value, num, den))
                fail("bad pixel aspect A" + std::string(value));
            header.pixelAspect = std::string(value);
            break;
        }
        case 'X':
            if (value == "COLORRANGE=FULL")
                header.range = Y4mRange::Full;
            else if (value == "COLORRANGE=LIMITED")
                header.range = Y4mRange::Limited;
            header.extras.emplace_back(token);
            break;
        default:
            header.extras.emplace_back(token);
            break;
        }
    }
    if (!haveWidth)
        fail("width (W) missing");
    if (!haveHeight)
        fail("height (H) missing");
    if (int64_t(header.width) * header.height > kY4mMaxPixels)
        fail("picture " + std::to_string(header.width) + "x" + std::to_string(header.height) + " exceeds " +
             std::to_string(kY4mMaxPixels) + " pixels");
    return header;
}

Y4mHeader withScaledFrameRate(const Y4mHeader& header, bool doubled) {
    Y4mHeader h = header;
    if (h.frameRateNum > 0 && h.frameRateDen > 0) {
        int64_t& halved = doubled ? h.frameRateDen : h.frameRateNum;
        int64_t& twice = doubled ? h.frameRateNum : h.frameRateDen;
        if (halved % 2 == 0)
            halved /= 2;
        else
            twice *= 2;
        h.frameRate = std::to_string(h.frameRateNum) + ":" + std::to_string(h.frameRateDen);
    }
    return h;
}

std::string formatY4mHeader(const Y4mHeader& header) {
    std::string line = "YUV4MPEG2 W" + std::to_string(header.width) + " H" + std::to_string(header.height);
    if (!header.frameRate.empty())
        line += " F" + header.frameRate;
    if (header.interlace != Y4mInterlace::Unspecified)
        for (const InterlaceLetter& entry : kInterlaceLetters)
            if (entry.interlace == header.interlace)
                line += " I" + std::string(entry.letter);
    if (!header.pixelAspect.empty())
        line += " A" + header.pixelAspect;
    line += " C" + (header.chromaTag.empty() ? y4mChromaTag(header.chroma, header.bitDepth) : header.chromaTag);
    for (const std::string& extra : header.extras)
        line += " " + extra;
    line += '\n';
    return line;
}

} // namespace cli
