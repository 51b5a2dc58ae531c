// Reads a registration resource (PiPL, Windows binary form) as a host does.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace refhost {

struct PiplProperty {
    std::string vendor; // "8BIM"
    std::string key;    // "kind", "name", ...
    uint32_t id = 0;
    std::vector<uint8_t> data; // exactly `length` bytes, padding after it dropped
};

struct PiplError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Throws PiplError on a malformed resource (bad header, data past the end).
std::vector<PiplProperty> decodePipl(const std::vector<uint8_t>& bytes);
std::vector<uint8_t> readFileBytes(const std::string& path);

// Value readers; each throws PiplError when the property is missing or malformed.
const PiplProperty& piplProperty(const std::vector<PiplProperty>& properties,
                                 const std::string& key);
std::string piplPascalString(const PiplProperty& property);
std::string piplCString(const PiplProperty& property);
std::string piplFourCC(const PiplProperty& property);
uint32_t piplUint32(const PiplProperty& property);

} // namespace refhost
