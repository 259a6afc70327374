// rm7util macros against rm7-sim over a real pty: the bytes that reach the radio's EEPROM file,
// the settings for macros 9 to 16, and what a later read shows.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "tests/pty/pty_support.h"

namespace rm7::test {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kEepromSize = 0x8400;
constexpr std::size_t kMacroBase = 0x7500;

TEST(CliMacros, SetWritesTheSlotAndGetReadsItBack) {
    CScratch scratch;
    const fs::path eeprom = scratch.Dir() / "radio.eeprom";
    std::string original(kEepromSize, '\xFF');
    original.replace(kMacroBase + 0x80, 8, "ABCDEFGH");  // macro 2's label fills its field
    std::ofstream(eeprom, std::ios::binary) << original;
    CSimulator sim({"--eeprom", eeprom.string()});
    ASSERT_FALSE(sim.Device().empty());

    RunResult r = RunUtil(scratch, {"-q", "--port", sim.Device(), "macros", "set", "3", " qrp ", "pc5;md3;"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, " 3 QRP      PC5;MD3;\n");
    r = RunUtil(scratch, {"-q", "--port", sim.Device(), "macros", "set", "14", "Tune", "TX;"});
    ASSERT_EQ(r.status, 0) << r.err;

    const std::string after = ReadAll(eeprom);
    ASSERT_EQ(after.size(), kEepromSize);
    EXPECT_EQ(after.substr(kMacroBase + 0x100, 8), std::string("QRP\0\xFF\xFF\xFF\xFF", 8));
    EXPECT_EQ(after.substr(kMacroBase + 0x108, 10), std::string("PC5;MD3;\0\xFF", 10));
    // The whole area is written back: an empty macro as one 0 byte per field, the others as read.
    EXPECT_EQ(after.substr(kMacroBase + 0x80, 8), "ABCDEFGH");
    EXPECT_EQ(after.substr(kMacroBase, 2), std::string("\0\xFF", 2));
    EXPECT_EQ(after.substr(0, kMacroBase), original.substr(0, kMacroBase));
    EXPECT_EQ(after.substr(kMacroBase + 0x400), original.substr(kMacroBase + 0x400));

    r = RunUtil(scratch, {"-q", "--port", sim.Device(), "--json", "macros", "get"});
    ASSERT_EQ(r.status, 0) << r.err;
    const nlohmann::json macros = nlohmann::json::parse(r.out)["macros"];
    ASSERT_EQ(macros.size(), 16u);
    EXPECT_EQ(macros[1]["label"], "ABCDEFGH");
    EXPECT_EQ(macros[2]["label"], "QRP");
    EXPECT_EQ(macros[2]["commands"], "PC5;MD3;");
    EXPECT_EQ(macros[13]["label"], "Tune");
    EXPECT_EQ(macros[13]["commands"], "TX;");
    EXPECT_EQ(macros[13]["in_radio"], false);

    // Refused before the radio is touched.
    const std::string written = ReadAll(eeprom);
    r = RunUtil(scratch, {"--port", sim.Device(), "macros", "set", "1", "NINECHARS", ""});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Macro Label 1 must be no longer than 8 characters"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("Connected"), std::string::npos) << r.err;
    EXPECT_EQ(ReadAll(eeprom), written);

    r = RunUtil(scratch, {"-q", "--port", sim.Device(), "macros", "set", "5", "VER", "RVM;"});
    ASSERT_EQ(r.status, 0) << r.err;
    r = RunUtil(scratch, {"-q", "--port", sim.Device(), "macros", "run", "5"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("RVM", 0), 0u) << r.out;
}

}  // namespace
}  // namespace rm7::test
