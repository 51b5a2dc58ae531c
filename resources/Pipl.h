// The registration resource (PiPL, id 16000) in its Windows binary form:
// little-endian, four-character codes stored as 32-bit integers.
#pragma once

#include <cstdint>
#include <vector>

namespace Velmora {

constexpr int kPiplResourceId = 16000;

// The complete resource: header, then the thirteen properties.
std::vector<uint8_t> buildPipl();

} // namespace Velmora
