#include "host/About.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

TEST(AboutText, SpellsCopyrightAndRegisteredSigns) {
    struct Case {
        const char* input;
        size_t capacity;
        const char* expected;
    };
    const Case cases[] = {
        {"plain", 64, "plain"},
        {"\xA9 2026 Morvik\xAA", 64, "(C) 2026 Morvik(R)"},
        {"", 64, ""},
        {"abcdef", 4, "abc"},         // cut to capacity - 1, still terminated
        {"a\xA9\xA9", 6, "a(C)"},     // a sign that does not fit is left out whole
        {"\xAA", 1, ""},
    };
    for (const Case& c : cases) {
        char dest[64];
        std::memset(dest, 'x', sizeof dest);
        copyAboutTextPlain(c.input, dest, c.capacity);
        EXPECT_EQ(std::string(dest), c.expected) << c.input;
    }
}
