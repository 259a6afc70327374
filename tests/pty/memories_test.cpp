// rm7util banner and cw against rm7-sim over a real pty: what reaches the radio's EEPROM file,
// and what a later read shows.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "tests/pty/pty_support.h"

namespace rm7::test {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kEepromSize = 0x8400;
constexpr std::size_t kBannerAddress = 0x83E0;
constexpr std::size_t kSerialAddress = 0x83FA;

std::string ErasedEeprom() {
    std::string bytes(kEepromSize, '\xFF');
    bytes[kSerialAddress] = 0x04;
    bytes[kSerialAddress + 1] = static_cast<char>(0xD2);
    return bytes;
}

TEST(CliMemories, BannerAndCwMemoryAreWrittenAndReadBack) {
    CScratch scratch;
    const fs::path eeprom = scratch.Dir() / "radio.eeprom";
    const std::string original = ErasedEeprom();
    std::ofstream(eeprom, std::ios::binary) << original;
    CSimulator sim({"--eeprom", eeprom.string()});
    ASSERT_FALSE(sim.Device().empty());

    RunResult r = RunUtil(scratch, {"-q", "--port", sim.Device(), "banner", "set", "hello  "});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "HELLO\n");
    r = RunUtil(scratch, {"-q", "--port", sim.Device(), "cw", "set", "1", "cq de x1"});
    ASSERT_EQ(r.status, 0) << r.err;

    const std::string after = ReadAll(eeprom);
    ASSERT_EQ(after.size(), kEepromSize);
    EXPECT_EQ(after.substr(kBannerAddress, 7), std::string("HELLO\0\xFF", 7));
    // M1 backwards from 0x04FA: C Q space D E space X 1, then the end mark.
    EXPECT_EQ(after.substr(0x04F1, 10), "\xFF\xCC\x3E\x19\x80\x02\x09\x80\x1B\x15");
    // Nothing else changed.
    std::string expected = original;
    expected.replace(kBannerAddress, 6, std::string("HELLO\0", 6));
    expected.replace(0x04F2, 9, after.substr(0x04F2, 9));
    EXPECT_EQ(after, expected);

    r = RunUtil(scratch, {"-q", "--port", sim.Device(), "--json", "banner", "get"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(nlohmann::json::parse(r.out)["banner"], "HELLO");
    r = RunUtil(scratch, {"-q", "--port", sim.Device(), "--json", "cw", "get"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(nlohmann::json::parse(r.out)["memories"], nlohmann::json::array({"CQ DE X1", "", "", "", "", ""}));
}

TEST(CliMemories, TextsThatDoNotFitAreRefusedBeforeTheRadioIsTouched) {
    CScratch scratch;
    const fs::path eeprom = scratch.Dir() / "radio.eeprom";
    const std::string original = ErasedEeprom();
    std::ofstream(eeprom, std::ios::binary) << original;
    CSimulator sim({"--eeprom", eeprom.string()});
    ASSERT_FALSE(sim.Device().empty());

    const struct {
        std::vector<std::string> args;
        const char* code;
    } cases[] = {
        {{"cw", "set", "2", std::string(251, 'E')}, "0xE2000080"},
        {{"cw", "set", "2", "CQ #1"}, "0x0000000D"},
        {{"banner", "set", std::string(23, 'B')}, "0x00000057"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"--port", sim.Device()};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const RunResult r = RunUtil(scratch, args);
        EXPECT_EQ(r.status, 1) << c.code;
        EXPECT_NE(r.err.find(c.code), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("Connected"), std::string::npos) << r.err;
    }
    EXPECT_EQ(ReadAll(eeprom), original);
}

}  // namespace
}  // namespace rm7::test
