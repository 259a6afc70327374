// The CW memory code: the table of codes, what passes an edit box, and the area images.
#include "memories/cw_code.h"

#include <gtest/gtest.h>

#include "platform/result_codes.h"

namespace rm7 {
namespace {

TEST(CwCode, CharactersHaveTheRadiosCodesAndDecodeBack) {
    const struct {
        char c;
        std::uint8_t code;
    } cases[] = {
        {'E', 0x02}, {'T', 0x03}, {'A', 0x06}, {'N', 0x05}, {'0', 0x3F}, {'Q', 0x1B}, {'C', 0x15},
        {'_', 0x1A}, {'+', 0x2A}, {'%', 0x22}, {'=', 0x31}, {'(', 0x2D}, {'*', 0x68}, {'!', 0x28},
        {'/', 0x29}, {',', 0x73}, {'-', 0x61}, {'.', 0x6A}, {'?', 0x4C}, {'@', 0x56}, {' ', 0x80},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CwEncodingEntry(c.c), c.code) << c.c;
        if (c.code < 120) {
            EXPECT_EQ(CwDecodingEntry(c.code), c.c) << c.c;
        }
    }
    // The tables are each other's inverse, and hold nothing else.
    int coded = 0;
    for (int c = 0x20; c <= 0x5F; ++c) {
        const std::uint8_t code = CwEncodingEntry(static_cast<char>(c));
        if (code != 0) {
            ++coded;
            if (code < 120) {
                EXPECT_EQ(CwDecodingEntry(code), c);
            }
        }
    }
    EXPECT_EQ(coded, 36 + 13 + 1);  // letters and digits, the signs, space
    for (char c : {'#', '"', '$', '&', '\'', ')', ':', ';', '<', '>', '[', '\\', ']', '^'}) {
        EXPECT_EQ(CwEncodingEntry(c), 0) << c;
    }
}

TEST(CwCode, EditBoxesKeepOnlyWhatTheRadioCanSend) {
    EXPECT_TRUE(IsCwTypeable('a'));
    EXPECT_TRUE(IsCwTypeable('~'));
    EXPECT_TRUE(IsCwTypeable('|'));
    EXPECT_FALSE(IsCwTypeable('#'));
    EXPECT_FALSE(IsCwTypeable(U'\u00E9'));
    EXPECT_EQ(KeepCwTypeable("cq de x#1"), "CQ DE X1");
    EXPECT_EQ(KeepCwTypeable("r\xC3\xA9sum\xC3\xA9 ~|"), "RSUM ~|");

    EXPECT_EQ(CheckCwText(std::string(250, 'E')), kOk);
    EXPECT_EQ(CheckCwText(std::string(251, 'E')), kErrCwMemoryTooLong);
    EXPECT_EQ(CheckCwText("CQ #1"), kErrorInvalidData);
    EXPECT_EQ(CheckCwText("\xC3\xA9"), kErrorInvalidData);
}

TEST(CwCode, AreasAreStoredBackwardsWithAnEndMark) {
    CwArea area;
    area.fill(0x55);
    EXPECT_EQ(EncodeCwArea("cq", area), 3u);
    EXPECT_EQ(area[250], 0x15);  // C first, at the top
    EXPECT_EQ(area[249], 0x1B);
    EXPECT_EQ(area[248], kCwEndMark);
    EXPECT_EQ(area[0], 0);
    EXPECT_EQ(DecodeCwArea(area), "CQ");

    EXPECT_EQ(EncodeCwArea(std::string(250, 'T'), area), 251u);
    EXPECT_EQ(area[0], kCwEndMark);
    EXPECT_EQ(EncodeCwArea(std::string(251, 'T'), area), 251u);  // full: no end mark
    EXPECT_EQ(area[0], 0x03);
    EXPECT_EQ(DecodeCwArea(area), std::string(251, 'T'));

    // Special codes, a code without a character and the word space read as they should.
    area.fill(kCwErased);
    const std::uint8_t stored[] = {0x06, kCwHalfSpace, kCwImSign, kCwWordSpace, 0x00, 0x7F, 0xA0, 0x03};
    for (std::size_t k = 0; k < sizeof stored; ++k) {
        area[250 - k] = stored[k];
    }
    EXPECT_EQ(DecodeCwArea(area), "A~|    T");
    area[250] = kCwErased;
    EXPECT_EQ(DecodeCwArea(area), "");
}

}  // namespace
}  // namespace rm7
