// The registration bytes, decoded here with a reader of the test's own, and
// the copies of them that reach Windows (.rc) and the host (Velmora.pipl).
#include "resources/Pipl.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }

std::string wholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
}

uint32_t le32(const Bytes& b, size_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 |
           uint32_t(b[at + 3]) << 24;
}

} // namespace

// The framing: header, then per property signature, key (codes stored
// reversed), reserved word, length and data padded to four bytes with zeros.
// The values themselves are pinned by the host's registration report.
TEST(Pipl, DecodesToThirteenPropertiesInOrder) {
    const Bytes bytes = Velmora::buildPipl();
    ASSERT_GE(bytes.size(), 10u);
    EXPECT_EQ(bytes[0] | bytes[1] << 8, 1);
    EXPECT_EQ(le32(bytes, 2), 0u);
    ASSERT_EQ(le32(bytes, 6), 13u);
    size_t at = 10;
    for (const char* key : {"dnik", "eman", "gtac", sizeof(void*) == 8 ? "4668" : "68xw", "RVPe",
                            "RVSe", "REVe", "FNIe", "OLGe", "2LGe", "ANMe", "LFea", "DRea"}) {
        SCOPED_TRACE(key);
        ASSERT_LE(at + 16, bytes.size());
        EXPECT_EQ(Bytes(bytes.begin() + at, bytes.begin() + at + 8), text(std::string("MIB8") + key));
        EXPECT_EQ(le32(bytes, at + 8), 0u);
        const uint32_t length = le32(bytes, at + 12);
        at += 16;
        ASSERT_LE(at + (length + 3) / 4 * 4, bytes.size());
        for (size_t i = length; i % 4 != 0; ++i)
            EXPECT_EQ(bytes[at + i], 0) << "padding byte " << i;
        at += (length + 3) / 4 * 4;
    }
    EXPECT_EQ(at, bytes.size());
}

// The copies beside the plug-in: the file the host reads, and the script the
// writer's --rc mode makes for the Windows builds to compile.
TEST(Pipl, CopiesBesideThePluginHoldTheSameBytes) {
    EXPECT_EQ(text(wholeFile(std::string(VELMORA_BINARY_DIR) + "/Velmora.pipl")), Velmora::buildPipl());
    const std::string script = wholeFile(std::string(VELMORA_BINARY_DIR) + "/Velmora.rc");
    EXPECT_NE(script.find("\n16000 PiPL\nBEGIN\n"), std::string::npos);
    // windres reads "0x1234END" as one malformed number: END stands on its own line.
    EXPECT_EQ(script.substr(script.size() - 5), "\nEND\n");
    Bytes fromScript;
    // Every "0x" starts one 16-bit little-endian word of four hex digits.
    for (size_t at = script.find("0x"); at != std::string::npos; at = script.find("0x", at + 2)) {
        const unsigned value = std::stoul(script.substr(at + 2, 4), nullptr, 16);
        fromScript.push_back(uint8_t(value));
        fromScript.push_back(uint8_t(value >> 8));
    }
    EXPECT_EQ(fromScript, Velmora::buildPipl());
}
