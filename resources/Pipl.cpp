#include "resources/Pipl.h"

#include "resources/EffectIdentity.h"

#include <string_view>

namespace Velmora {
namespace {

class PiplWriter {
public:
    void u16(uint16_t v) {
        bytes_.push_back(uint8_t(v));
        bytes_.push_back(uint8_t(v >> 8));
    }
    void u32(uint32_t v) {
        for (int shift = 0; shift < 32; shift += 8)
            bytes_.push_back(uint8_t(v >> shift));
    }
    // A four-character code read as a big-endian number and stored
    // little-endian, so "kind" lands as the bytes "dnik".
    void code(std::string_view fourCC) {
        uint32_t v = 0;
        for (char c : fourCC)
            v = (v << 8) | uint8_t(c);
        u32(v);
    }

    // One property: vendor, key, id 0, data length, data padded to 4 bytes.
    void property(std::string_view key, const std::vector<uint8_t>& data) {
        code("8BIM");
        code(key);
        u32(0);
        u32(uint32_t(data.size()));
        bytes_.insert(bytes_.end(), data.begin(), data.end());
        // Property data is aligned relative to the first property, which
        // follows the 10-byte header.
        while (bytes_.size() % 4 != 0)
            bytes_.push_back(0);
        ++count_;
    }

    std::vector<uint8_t> finish() {
        PiplWriter h;
        h.u16(1);
        h.u32(0);
        h.u32(count_);
        std::vector<uint8_t> header = std::move(h.bytes_);
        header.insert(header.end(), bytes_.begin(), bytes_.end());
        return header;
    }

private:
    std::vector<uint8_t> bytes_;
    uint32_t count_ = 0;
};

std::vector<uint8_t> padded(std::vector<uint8_t> data) {
    while (data.size() % 4 != 0)
        data.push_back(0);
    return data;
}

// Pascal string, zero-padded to a multiple of 4; the padding belongs to the data.
std::vector<uint8_t> pascal(std::string_view text) {
    std::vector<uint8_t> data{uint8_t(text.size())};
    data.insert(data.end(), text.begin(), text.end());
    return padded(std::move(data));
}

// Zero-terminated string, padded the same way.
std::vector<uint8_t> cString(std::string_view text) {
    std::vector<uint8_t> data(text.begin(), text.end());
    data.push_back(0);
    return padded(std::move(data));
}

std::vector<uint8_t> word32(uint32_t v) {
    return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
}

std::vector<uint8_t> codeValue(std::string_view fourCC) {
    uint32_t v = 0;
    for (char c : fourCC)
        v = (v << 8) | uint8_t(c);
    return word32(v);
}

} // namespace

std::vector<uint8_t> buildPipl(bool for64Bit) {
    PiplWriter w;
    w.property("kind", codeValue("eFKT"));
    w.property("name", pascal(kEffectName));
    w.property("catg", pascal(kCategory));
    w.property(entryPointKey(for64Bit), cString(kEntryPointName));
    w.property("ePVR", word32(2));
    w.property("eSVR", {uint8_t(kSpecVersionMajor), uint8_t(uint16_t(kSpecVersionMajor) >> 8),
                        uint8_t(kSpecVersionMinor), uint8_t(uint16_t(kSpecVersionMinor) >> 8)});
    w.property("eVER", word32(kEffectVersion));
    w.property("eINF", {0, 0});
    w.property("eGLO", word32(uint32_t(kOutFlags)));
    w.property("eGL2", word32(uint32_t(kOutFlags2)));
    w.property("eMNA", pascal(kMatchName));
    w.property("aeFL", word32(8));
    w.property("aeRD", word32(0));
    return w.finish();
}

} // namespace Velmora
