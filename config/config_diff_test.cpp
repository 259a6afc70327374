#include "config/config_diff.h"

#include <gtest/gtest.h>

#include "memories/banner_machine.h"
#include "memories/cw_code.h"

namespace rm7 {
namespace {

ConfigurationSide Erased(std::optional<std::uint16_t> serial = 1234) {
    ConfigurationSide side;
    side.serialNumber = serial;
    side.image.fill(0xFF);
    return side;
}

TEST(ConfigDiffTest, AreaNamesAtTheirEdges) {
    const struct {
        std::uint32_t address;
        const char* name;
    } cases[] = {
        {0x03FF, ""},
        {0x0400, "CW memory 1"},
        {0x04FA, "CW memory 1"},
        {0x04FB, ""},  // past the 251-byte area
        {0x0900, "CW memory 6"},
        {0x0A00, ""},
        {0x7500, "Command macro 1 label"},
        {0x7508, "Command macro 1 commands"},
        {0x757F, "Command macro 1 commands"},
        {0x7580, "Command macro 2 label"},
        {0x78FF, "Command macro 8 commands"},
        {0x7900, ""},
        {0x83E0, "Power-on banner"},
        {0x83F6, "Power-on banner"},
        {0x83F7, ""},
        {0x83FA, "Serial number"},
        {0x83FB, "Serial number"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(EepromAreaName(c.address), c.name) << std::hex << c.address;
    }
}

TEST(ConfigDiffTest, EqualSidesAndOutsideBytesAreNoDifference) {
    ConfigurationSide left = Erased();
    ConfigurationSide right = Erased();
    // Outside the configuration ranges: the last bytes of page 0 and a CW memory.
    right.image[0x00FD] = 0x12;
    right.image[0x0450] = 0x34;
    const auto diff = CompareConfigurations(left, right);
    EXPECT_TRUE(diff.Equal());
    EXPECT_EQ(ConfigurationDifferenceText(diff, "a", "b"), "No differences between a and b.\n");
}

TEST(ConfigDiffTest, RunsSplitWhereBytesAgreeAndAtRangeEnds) {
    ConfigurationSide left = Erased();
    ConfigurationSide right = Erased();
    right.image[0x0010] = 0x01;
    right.image[0x0011] = 0x02;
    right.image[0x0013] = 0x03;  // 0x0012 agrees: a second run
    right.image[0x00FF] = 0x04;  // end of range 1 ...
    right.image[0x0100] = 0x05;  // ... and start of range 2: two ranges
    right.image[0x7E1F] = 0x06;
    const auto diff = CompareConfigurations(left, right);
    ASSERT_FALSE(diff.Equal());
    EXPECT_FALSE(diff.serialDiffers);
    ASSERT_EQ(diff.ranges.size(), 3u);
    EXPECT_EQ(diff.ranges[0].range.start, 0x0000);
    ASSERT_EQ(diff.ranges[0].runs.size(), 2u);
    EXPECT_EQ(diff.ranges[0].runs[0].address, 0x0010);
    EXPECT_EQ(diff.ranges[0].runs[0].right, (std::vector<std::uint8_t>{0x01, 0x02}));
    EXPECT_EQ(diff.ranges[0].runs[0].left, (std::vector<std::uint8_t>{0xFF, 0xFF}));
    EXPECT_EQ(diff.ranges[0].runs[1].address, 0x0013);
    EXPECT_EQ(diff.ranges[1].range.start, 0x0100);
    EXPECT_EQ(diff.ranges[1].runs[0].address, 0x0100);
    EXPECT_EQ(diff.ranges[2].range.start, 0x7E00);
    EXPECT_EQ(diff.ranges[2].runs[0].address, 0x7E1F);

    // Page 0's 0x00FF is not in range 0 (252 bytes): it was not counted.
    EXPECT_EQ(diff.ranges[0].runs.back().address, 0x0013);

    const std::string text = ConfigurationDifferenceText(diff, "old", "new");
    EXPECT_NE(text.find("Range 0x0000-0x00FB\n  0x0010-0x0011\n    < FF FF\n    > 01 02\n"), std::string::npos) << text;
    EXPECT_NE(text.find("  0x0013\n    < FF\n    > 03\n"), std::string::npos) << text;
}

TEST(ConfigDiffTest, SerialNumbersCompared) {
    const struct {
        std::optional<std::uint16_t> left, right;
        bool differs;
        const char* shown;
    } cases[] = {
        {1234, 1234, false, ""},
        {1234, 300, true, "Serial number\n  < 01234\n  > 00300\n"},
        {std::nullopt, 300, true, "Serial number\n  < (none)\n  > 00300\n"},
        {std::nullopt, std::nullopt, false, ""},
    };
    for (const auto& c : cases) {
        const auto diff = CompareConfigurations(Erased(c.left), Erased(c.right));
        EXPECT_EQ(diff.serialDiffers, c.differs);
        EXPECT_EQ(diff.Equal(), !c.differs);
        if (c.differs) {
            EXPECT_NE(ConfigurationDifferenceText(diff, "a", "b").find(c.shown), std::string::npos);
        }
    }
}

TEST(ConfigDiffTest, NamedAreasShowBothTexts) {
    ConfigurationSide left = Erased();
    ConfigurationSide right = Erased();
    CwArea cw{};
    const std::uint32_t written = EncodeCwArea("CQ TEST", cw);
    // The text is stored backwards from the area's top.
    for (std::uint32_t i = 0; i < written; ++i) {
        const std::size_t offset = kCwAreaSize - 1 - i;
        right.image[CwAreaAddress(2) + offset] = cw[offset];
    }
    BannerBuffer banner{};
    ASSERT_EQ(BannerBytesFromText("HELLO", banner), kOk);
    std::copy(banner.begin(), banner.end(), left.image.begin() + kBannerAddress);
    right.image[0x7580] = 'A';  // label of macro 2, next to ...
    right.image[0x757F] = 'B';  // ... the last byte of macro 1's commands: two runs

    const EepromRange ranges[] = {{0x0600, 256}, {0x7500, 0x400}, {0x83E0, 23}};
    const auto diff = CompareConfigurations(left, right, ranges);
    ASSERT_EQ(diff.ranges.size(), 3u);
    const ByteDifference& memory = diff.ranges[0].runs.at(0);
    EXPECT_EQ(memory.area, "CW memory 3");
    EXPECT_EQ(memory.leftText, "");
    EXPECT_EQ(memory.rightText, "CQ TEST");
    ASSERT_EQ(diff.ranges[1].runs.size(), 2u);
    EXPECT_EQ(diff.ranges[1].runs[0].area, "Command macro 1 commands");
    EXPECT_EQ(diff.ranges[1].runs[1].area, "Command macro 2 label");
    EXPECT_EQ(diff.ranges[1].runs[1].rightText, "A");
    EXPECT_EQ(diff.ranges[2].runs.at(0).area, "Power-on banner");
    EXPECT_EQ(diff.ranges[2].runs.at(0).leftText, "HELLO");
    EXPECT_EQ(diff.ranges[2].runs.at(0).rightText, "");
    const std::string text = ConfigurationDifferenceText(diff, "a", "b");
    EXPECT_NE(text.find("(CW memory 3)"), std::string::npos) << text;
    EXPECT_NE(text.find("    < \"\"\n    > \"CQ TEST\"\n"), std::string::npos) << text;
}

TEST(ConfigDiffTest, SideFromFileLeavesUnsuppliedBytesErased) {
    PageRun run;
    run.page = 0x01;
    run.first = 0x10;
    run.last = 0x11;
    run.data[0x10] = 0x00;
    run.data[0x11] = 0x42;
    ConfigurationFileContents contents;
    contents.serialNumber = 7;
    contents.runs.push_back(run);
    const ConfigurationSide side = SideFromFile(contents);
    EXPECT_EQ(side.serialNumber, 7);
    EXPECT_EQ(side.image[0x0110], 0x00);
    EXPECT_EQ(side.image[0x0111], 0x42);
    EXPECT_EQ(side.image[0x0112], 0xFF);
    EXPECT_EQ(side.image[0x0000], 0xFF);
}

}  // namespace
}  // namespace rm7
