// rm7util config save, restore and verify against two rm7-sim radios over real ptys: what
// reaches each radio's EEPROM file, and what the radio received (its --record file).
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <random>

#include "tests/pty/pty_support.h"
#include "tests/support/example_config_file.h"
#include "tests/support/firmware_files.h"

namespace rm7::test {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::Not;

constexpr std::size_t kEepromSize = 0x8400;
constexpr std::size_t kSerialAddress = 0x83FA;

struct Range {
    std::size_t start;
    std::size_t length;
};
constexpr Range kRanges[] = {{0x0000, 252}, {0x0100, 256}, {0x0200, 256}, {0x0300, 254},
                             {0x6800, 256}, {0x6900, 256}, {0x7E00, 32}};

bool InRanges(std::size_t address) {
    for (const Range& r : kRanges) {
        if (address >= r.start && address < r.start + r.length) {
            return true;
        }
    }
    return false;
}

std::string RandomEeprom(std::uint32_t seed, std::uint16_t serial) {
    std::mt19937 rng(seed);
    std::string bytes(kEepromSize, '\0');
    for (char& b : bytes) {
        b = static_cast<char>(rng());
    }
    bytes[kSerialAddress] = static_cast<char>(serial >> 8);
    bytes[kSerialAddress + 1] = static_cast<char>(serial & 0xFF);
    return bytes;
}

void WriteFile(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string RangeBytes(const std::string& eeprom) {
    std::string out;
    for (const Range& r : kRanges) {
        out += eeprom.substr(r.start, r.length);
    }
    return out;
}

// What the radio received, in order: the payloads of the "in" lines of its --record file.
std::string ReceivedStream(const fs::path& record) {
    std::istringstream lines(ReadAll(record));
    std::string stream;
    for (std::string line; std::getline(lines, line);) {
        // "%10llu %s %6u " with "in " or "out": the bytes start at column 22.
        if (line.size() >= 22 && line.compare(11, 3, "in ") == 0) {
            stream += line.substr(22);
        }
    }
    return stream;
}

// Documents (the default configuration folder) inside the scratch folder too.
void PointDocumentsIntoScratch(const CScratch& scratch) {
    fs::create_directories(scratch.Dir() / "config");
    WriteFile(scratch.Dir() / "config" / "user-dirs.dirs",
              "XDG_DOCUMENTS_DIR=\"" + (scratch.Dir() / "documents").string() + "\"\n");
}

TEST(CliConfig, SaveFromOneRadioAndRestoreIntoAnother) {
    CScratch scratch;
    PointDocumentsIntoScratch(scratch);
    const fs::path eepromA = scratch.Dir() / "a.eeprom";
    const fs::path eepromB = scratch.Dir() / "b.eeprom";
    const fs::path recordB = scratch.Dir() / "b.record";
    const std::string originalA = RandomEeprom(1, 1234);
    const std::string originalB = RandomEeprom(2, 4321);
    WriteFile(eepromA, originalA);
    WriteFile(eepromB, originalB);
    CSimulator a({"--eeprom", eepromA.string(), "--speed", "19200"});
    CSimulator b({"--eeprom", eepromB.string(), "--record", recordB.string()});
    ASSERT_FALSE(a.Device().empty());
    ASSERT_FALSE(b.Device().empty());

    // Without a name the file goes into the configuration folder under the proposed name.
    RunResult r = RunUtil(scratch, {"--port", a.Device(), "config", "save"});
    ASSERT_EQ(r.status, 0) << r.err;
    const fs::path file = r.out.substr(0, r.out.size() - 1);
    EXPECT_EQ(file.parent_path(), scratch.Dir() / "documents" / "Tarnwell" / "RM7 Configuration");
    EXPECT_EQ(file.filename().string().rfind("SN01234.", 0), 0u) << file;
    EXPECT_EQ(file.extension(), ".RM7Config");
    ASSERT_TRUE(fs::exists(file));
    EXPECT_EQ(ReadAll(eepromA), originalA);  // a save reads only

    r = RunUtil(scratch, {"config", "verify", file.string(), "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto json = nlohmann::json::parse(r.out);
    EXPECT_EQ(json["serial_number"], 1234);
    EXPECT_EQ(json["firmware_version"], "02.54");
    EXPECT_EQ(json["bytes"], 1562);
    EXPECT_EQ(json["runs"], 7);
    ASSERT_EQ(json["ranges"].size(), 7u);
    for (std::size_t i = 0; i < 7; ++i) {
        EXPECT_EQ(json["ranges"][i]["supplied"], kRanges[i].length);
    }

    // The file is another radio's: with advanced mode and a yes it is restored all the same.
    r = RunUtil(scratch, {"--port", b.Device(), "--yes", "config", "restore", "--advanced", file.string()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_THAT(r.err, HasSubstr("Waiting 8 seconds for reset"));
    EXPECT_THAT(r.err, HasSubstr("Configuration was restored"));

    const std::string restored = ReadAll(eepromB);
    ASSERT_EQ(restored.size(), kEepromSize);
    EXPECT_EQ(RangeBytes(restored), RangeBytes(originalA));
    for (std::size_t address = 0; address < kEepromSize; ++address) {
        if (!InRanges(address)) {
            ASSERT_EQ(restored[address], originalB[address]) << std::hex << address;
        }
    }

    // 25 blocks, then the reset, then the radio is contacted again.
    const std::string stream = ReceivedStream(recordB);
    std::size_t blocks = 0;
    for (std::size_t at = 0; (at = stream.find("EW", at)) != std::string::npos; at += 2) {
        ++blocks;
    }
    EXPECT_EQ(blocks, 25u);
    const std::size_t reset = stream.find("LDD20000;");
    ASSERT_NE(reset, std::string::npos);
    EXPECT_EQ(stream.rfind("EW"), stream.rfind("EW", reset));  // no write after the reset
    const std::size_t identify = stream.find("I;", reset);
    ASSERT_NE(identify, std::string::npos);
    EXPECT_NE(stream.find("RVD;", identify), std::string::npos);
}

TEST(CliConfig, DiffNamesWhatChangedBetweenSavesAndAgainstTheRadio) {
    CScratch scratch;
    const fs::path eeprom = scratch.Dir() / "radio.eeprom";
    std::string bytes = RandomEeprom(3, 1234);
    WriteFile(eeprom, bytes);
    const fs::path before = scratch.Dir() / "before.RM7Config";
    const fs::path afterCw = scratch.Dir() / "after-cw.RM7Config";
    const fs::path changed = scratch.Dir() / "changed.RM7Config";
    {
        CSimulator sim({"--eeprom", eeprom.string()});
        ASSERT_FALSE(sim.Device().empty());
        ASSERT_EQ(RunUtil(scratch, {"-q", "--port", sim.Device(), "config", "save", before.string()}).status, 0);
        // A CW memory lies outside the configuration ranges: a save does not hold it.
        ASSERT_EQ(RunUtil(scratch, {"-q", "--port", sim.Device(), "cw", "set", "1", "CQ DE X1"}).status, 0);
        ASSERT_EQ(RunUtil(scratch, {"-q", "--port", sim.Device(), "config", "save", afterCw.string()}).status, 0);
    }
    RunResult r = RunUtil(scratch, {"config", "diff", before.string(), afterCw.string()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_THAT(r.out, HasSubstr("No differences"));

    // The radio changes two bytes of its configuration.
    const char old10 = bytes[0x0010];
    bytes[0x0010] = static_cast<char>(~old10);
    bytes[0x6805] = static_cast<char>(~bytes[0x6805]);
    WriteFile(eeprom, bytes);
    CSimulator sim({"--eeprom", eeprom.string()});
    ASSERT_FALSE(sim.Device().empty());
    ASSERT_EQ(RunUtil(scratch, {"-q", "--port", sim.Device(), "config", "save", changed.string()}).status, 0);

    r = RunUtil(scratch, {"config", "diff", before.string(), changed.string()});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_THAT(r.out, HasSubstr("Range 0x0000-0x00FB\n  0x0010\n"));
    EXPECT_THAT(r.out, HasSubstr("Range 0x6800-0x68FF\n  0x6805\n"));

    r = RunUtil(scratch, {"config", "diff", before.string(), changed.string(), "--json"});
    EXPECT_EQ(r.status, 1) << r.err;
    const auto json = nlohmann::json::parse(r.out);
    EXPECT_EQ(json["equal"], false);
    ASSERT_EQ(json["ranges"].size(), 2u);
    EXPECT_EQ(json["ranges"][0]["runs"][0]["address"], "0x0010");
    EXPECT_EQ(json["ranges"][0]["runs"][0]["left"],
              nlohmann::json(std::string(1, "0123456789ABCDEF"[(old10 >> 4) & 0xF]) + "0123456789ABCDEF"[old10 & 0xF]));
    EXPECT_EQ(json["serial_number"]["left"], 1234);

    // Against the radio: read as a save reads, nothing written.
    r = RunUtil(scratch, {"-q", "--port", sim.Device(), "config", "diff", changed.string(), "--radio"});
    EXPECT_EQ(r.status, 0) << r.err;
    r = RunUtil(scratch, {"-q", "--port", sim.Device(), "config", "diff", before.string(), "--radio", "--json"});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(nlohmann::json::parse(r.out)["right"], "radio");
    EXPECT_EQ(ReadAll(eeprom), bytes);

    // A damaged file is an error with the reader's message.
    std::string text = ReadAll(changed);
    char& digit = text[text.find("MEM2 00 00 20 ") + 14];  // the first data digit
    digit = digit == '0' ? '1' : '0';
    const fs::path damaged = scratch.Dir() / "damaged.RM7Config";
    WriteFile(damaged, text);
    r = RunUtil(scratch, {"config", "diff", before.string(), damaged.string()});
    EXPECT_EQ(r.status, 2);
    EXPECT_THAT(r.err, HasSubstr("has been altered after it was saved"));
    EXPECT_TRUE(r.out.empty());
}

// The path rm7util names on its "backed up to" line.
fs::path BackupNamed(const std::string& err) {
    const std::string marker = "The configuration was backed up to ";
    const std::size_t at = err.find(marker);
    if (at == std::string::npos) {
        return {};
    }
    const std::size_t end = err.find('\n', at);
    return err.substr(at + marker.size(), end - at - marker.size());
}

// A firmware load and a restore each leave, in the data folder, a configuration file of the
// radio as it was before them.
TEST(CliConfig, RiskyJobsLeaveABackupOfTheRadioAsItWas) {
    CScratch scratch;
    const fs::path eeprom = scratch.Dir() / "radio.eeprom";
    WriteFile(eeprom, RandomEeprom(3, 1234));
    CSimulator sim({"--eeprom", eeprom.string()});
    ASSERT_FALSE(sim.Device().empty());
    const fs::path backups = scratch.Dir() / "data" / "Tarnwell" / "RM7 Utility" / "backups";

    const fs::path mcu = scratch.Dir() / "fmcu0288.hex";
    WriteHexFile(mcu, McuImageBytes(4, "0288"), 0x800);
    RunResult r = RunUtil(scratch, {"--port", sim.Device(), "firmware", "send", "--mcu", mcu.string()}, 240);
    ASSERT_EQ(r.status, 0) << r.err;
    const fs::path beforeFirmware = BackupNamed(r.err);
    EXPECT_EQ(beforeFirmware.parent_path(), backups);
    EXPECT_THAT(beforeFirmware.filename().string(),
                ::testing::MatchesRegex(R"(SN01234\.[0-9]{8}T[0-9]{6}\.before-firmware\.RM7Config)"));
    EXPECT_EQ(RunUtil(scratch, {"config", "verify", beforeFirmware.string()}).status, 0);
    // A load leaves the configuration alone: the backup equals the radio.
    r = RunUtil(scratch, {"--port", sim.Device(), "config", "diff", beforeFirmware.string(), "--radio"});
    EXPECT_EQ(r.status, 0) << r.out << r.err;

    const fs::path file = scratch.Dir() / "one-run.RM7Config";
    WriteFile(file, std::string(kExampleConfigFile));
    r = RunUtil(scratch, {"--port", sim.Device(), "config", "restore", file.string()});
    ASSERT_EQ(r.status, 0) << r.err;
    const fs::path beforeRestore = BackupNamed(r.err);
    EXPECT_EQ(beforeRestore.parent_path(), backups);
    EXPECT_NE(beforeRestore.filename().string().find(".before-restore.RM7Config"), std::string::npos);
    // The radio before the restore, which it no longer is.
    EXPECT_EQ(RunUtil(scratch, {"config", "diff", beforeFirmware.string(), beforeRestore.string()}).status, 0);
    r = RunUtil(scratch, {"--port", sim.Device(), "config", "diff", beforeRestore.string(), "--radio"});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_THAT(r.out, HasSubstr("0x7E00"));
}

}  // namespace
}  // namespace rm7::test
