#include "model/eeprom_map.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

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

// Every area a job reads or writes, as the jobs address it. The areas never share a byte, lie
// inside the EEPROM, and only those a job writes are open to the block-write state: the serial
// number and the band edges must stay out of every write range.
TEST(EepromMap, AreasAreDisjointInsideTheEepromAndWritableOnlyWhereAJobWrites) {
    struct Area {
        std::string name;
        std::uint32_t start;
        std::uint32_t length;
        bool written;
    };
    std::vector<Area> areas;
    for (std::size_t i = 0; i < kConfigurationRanges.size(); ++i) {
        areas.push_back({"configuration " + std::to_string(i), kConfigurationRanges[i].start,
                         kConfigurationRanges[i].length, true});
    }
    for (std::size_t m = 0; m < kCwMemoryCount; ++m) {
        areas.push_back({"CW memory " + std::to_string(m + 1), CwAreaAddress(m), kCwAreaSize, true});
    }
    for (std::size_t i = 0; i < kRadioMacroCount; ++i) {
        const std::uint32_t slot = kMacroBaseAddress + static_cast<std::uint32_t>(i) * kMacroSlotSize;
        areas.push_back({"macro label " + std::to_string(i + 1), slot, kMacroLabelSize, true});
        areas.push_back({"macro commands " + std::to_string(i + 1), slot + kMacroLabelSize, kMacroTextSize, true});
    }
    areas.push_back({"banner", kBannerAddress, kBannerAreaSize, true});
    areas.push_back({"serial number", kSerialNumberAddress, kSerialNumberSize, false});
    areas.push_back({"60 m band edges", kBandEdges60mAddress, kBandEdges60mSize, false});

    for (std::size_t i = 0; i < areas.size(); ++i) {
        const Area& a = areas[i];
        SCOPED_TRACE(a.name);
        ASSERT_GT(a.length, 0u);
        EXPECT_LE(a.start + a.length, kEepromSize);
        for (std::size_t j = i + 1; j < areas.size(); ++j) {
            const Area& b = areas[j];
            EXPECT_TRUE(a.start + a.length <= b.start || b.start + b.length <= a.start) << "overlaps " << b.name;
        }
        if (a.written) {
            EXPECT_TRUE(IsWithinWriteRange(static_cast<std::uint16_t>(a.start), static_cast<std::uint16_t>(a.length)));
        } else {
            for (std::uint32_t address = a.start; address < a.start + a.length; ++address) {
                EXPECT_FALSE(IsWithinWriteRange(static_cast<std::uint16_t>(address), 1)) << std::hex << address;
            }
        }
    }
}

}  // namespace
}  // namespace rm7
