#include "config/eeprom_map.h"

#include <gtest/gtest.h>

namespace rm7 {
namespace {

TEST(EepromMap, ConfigurationRangesAreWritableSinglePagesTotalling1562Bytes) {
    EXPECT_EQ(kConfigurationByteCount, 1562u);
    for (const auto& range : kConfigurationRanges) {
        SCOPED_TRACE(range.start);
        EXPECT_TRUE(IsWithinWriteRange(range.start, range.length));
        EXPECT_EQ(range.start >> 8, (range.End() - 1) >> 8);
    }
    for (const auto& range : kEepromWriteRanges) {
        EXPECT_LE(range.End(), kEepromSize);
    }
}

TEST(EepromMap, WriteBlocksMustLieInsideOneRange) {
    struct Case {
        std::uint16_t address;
        std::uint16_t length;
        bool inside;
    };
    const Case cases[] = {
        {0x0000, 252, true},
        {0x0000, 253, false},
        {0x00FB, 1, true},
        {0x00FC, 1, false},
        {0x03FD, 1, true},
        {0x03FE, 1, false},
        {0x0400, 256, true},
        {0x0980, 64, true},
        {0x0A00, 1, false},
        {0x0100, 512, false},  // spans two adjacent
                               // ranges: not inside
                               // one
        {0x7E1F, 1, true},
        {0x7E1F, 2, false},
        {0x7DFF, 2, false},
        {0x83E0, 23, true},
        {0x83F6, 1, true},
        {0x83F7, 1, false},
        {0x83FA, 2, false},
        {0xFFFF, 2, false},  // must not wrap round to 0x0001
        {0xFFC0, 0x4000, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsWithinWriteRange(c.address, c.length), c.inside) << std::hex << c.address << " +" << c.length;
    }
}

TEST(EepromMap, ConfigurationAddresses) {
    const std::pair<std::uint32_t, bool> cases[] = {
        {0x0000, true}, {0x00FB, true}, {0x00FC, false}, {0x03FD, true},  {0x03FE, false}, {0x0400, false},
        {0x6800, true}, {0x69FF, true}, {0x7E1F, true},  {0x7E20, false}, {0x83FA, false}, {0x10000, false},
    };
    for (const auto& [address, inside] : cases) {
        EXPECT_EQ(IsConfigurationAddress(address), inside) << std::hex << address;
    }
}

}  // namespace
}  // namespace rm7
