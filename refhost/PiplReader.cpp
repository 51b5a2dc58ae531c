#include "refhost/PiplReader.h"

#include <fstream>
#include <iterator>

namespace refhost {

namespace {

uint32_t readU32(const std::vector<uint8_t>& bytes, size_t offset) {
    if (offset + 4 > bytes.size())
        throw PiplError("registration resource ends early");
    return uint32_t(bytes[offset]) | uint32_t(bytes[offset + 1]) << 8 |
           uint32_t(bytes[offset + 2]) << 16 | uint32_t(bytes[offset + 3]) << 24;
}

// Codes are stored as little-endian numbers whose most significant byte is
// the first character.
std::string codeText(uint32_t value) {
    return {char(value >> 24), char(value >> 16), char(value >> 8), char(value)};
}

} // namespace

std::vector<PiplProperty> decodePipl(const std::vector<uint8_t>& bytes) {
    if (bytes.size() < 10 || bytes[0] != 1 || bytes[1] != 0)
        throw PiplError("not a registration resource");
    const uint32_t count = readU32(bytes, 6);
    std::vector<PiplProperty> properties;
    size_t offset = 10;
    for (uint32_t i = 0; i < count; ++i) {
        PiplProperty p;
        p.vendor = codeText(readU32(bytes, offset));
        p.key = codeText(readU32(bytes, offset + 4));
        p.id = readU32(bytes, offset + 8);
        const uint64_t length = readU32(bytes, offset + 12);
        offset += 16;
        if (offset + length > bytes.size())
            throw PiplError("property " + p.key + " runs past the end");
        p.data.assign(bytes.begin() + std::ptrdiff_t(offset),
                      bytes.begin() + std::ptrdiff_t(offset + length));
        offset += size_t((length + 3) / 4 * 4);
        properties.push_back(std::move(p));
    }
    return properties;
}

std::vector<uint8_t> readFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw PiplError("cannot read " + path);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

const PiplProperty& piplProperty(const std::vector<PiplProperty>& properties,
                                 const std::string& key) {
    for (const PiplProperty& p : properties)
        if (p.key == key)
            return p;
    throw PiplError("no property " + key);
}

std::string piplPascalString(const PiplProperty& property) {
    if (property.data.empty() || size_t(property.data[0]) + 1 > property.data.size())
        throw PiplError("bad string in " + property.key);
    return std::string(property.data.begin() + 1, property.data.begin() + 1 + property.data[0]);
}

std::string piplCString(const PiplProperty& property) {
    for (size_t i = 0; i < property.data.size(); ++i)
        if (property.data[i] == 0)
            return std::string(property.data.begin(), property.data.begin() + std::ptrdiff_t(i));
    throw PiplError("unterminated string in " + property.key);
}

std::string piplFourCC(const PiplProperty& property) {
    return codeText(piplUint32(property));
}

uint32_t piplUint32(const PiplProperty& property) {
    if (property.data.size() != 4)
        throw PiplError("property " + property.key + " is not 4 bytes");
    return readU32(property.data, 0);
}

} // namespace refhost
