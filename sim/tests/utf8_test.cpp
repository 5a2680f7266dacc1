#include <gtest/gtest.h>

#include "sim/wire.h"

namespace {

// What the simulator accepts as a path and what a notification callback is handed come
// from this one decoder: a byte that starts no valid sequence, NUL included, is one U+FFFD
// and the decoding goes on at the next byte.
TEST(Utf8, PathsDecodeToCodePointsAndEveryBadByteToOneReplacement) {
    const struct {
        std::string text;
        std::u32string points;
        bool valid;
    } CASES[] = {
        {"caf\xC3\xA9 \xE2\x82\xAC\xF0\x9F\x8E\xB5", U"caf\u00E9 \u20AC\U0001F3B5", true},
        {"", U"", true},
        {std::string("a\0b", 3), U"a\uFFFDb", false},
        {"\xC3(", U"\uFFFD(", false},                              // cut short
        {"\xC0\x80", U"\uFFFD\uFFFD", false},                      // overlong NUL
        {"\xED\xA0\x80", U"\uFFFD\uFFFD\uFFFD", false},            // a surrogate
        {"\xF4\x90\x80\x80", U"\uFFFD\uFFFD\uFFFD\uFFFD", false},  // above U+10FFFF
        {"\xFFx", U"\uFFFDx", false},
    };
    for (const auto& c : CASES) {
        bool valid = !c.valid;
        EXPECT_TRUE(wire::DecodeUtf8(c.text, &valid) == c.points) << c.text;
        EXPECT_EQ(valid, c.valid) << c.text;
    }
}

}  // namespace
