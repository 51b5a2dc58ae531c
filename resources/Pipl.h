// The registration resource (PiPL, id 16000) in its Windows binary form:
// little-endian, four-character codes stored as 32-bit integers.
#pragma once

#include <cstdint>
#include <vector>

namespace Velmora {

constexpr int kPiplResourceId = 16000;

// The property naming the entry point differs by the host's architecture:
// 64-bit hosts look for '8664', 32-bit ones for 'wx86'. A build registers for
// its own pointer size (the x86-64 Linux build has no key of its own and
// takes the 64-bit one).
constexpr const char* entryPointKey(bool for64Bit) { return for64Bit ? "8664" : "wx86"; }
constexpr bool kBuiltFor64Bit = sizeof(void*) == 8;

// The complete resource: header, then the thirteen properties.
std::vector<uint8_t> buildPipl(bool for64Bit = kBuiltFor64Bit);

} // namespace Velmora
