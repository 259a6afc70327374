#include "sim/radio.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "sim/test_wire.h"
#include "tests/support/temp_folder.h"

namespace rm7sim::test {
namespace {

// The block commands as the utility builds them.
std::string ReadCommand(unsigned address, unsigned length) {
    const unsigned check = (256 - ((address >> 8) + (address & 0xFF) + length) % 256) % 256;
    return "ER" + Hex2(address >> 8) + Hex2(address) + Hex2(length) + Hex2(check) + ";";
}

std::string WriteCommand(unsigned address, const std::vector<uint8_t>& data) {
    unsigned sum = (address >> 8) + (address & 0xFF) + static_cast<unsigned>(data.size());
    std::string text = "EW" + Hex2(address >> 8) + Hex2(address) + Hex2(static_cast<unsigned>(data.size()));
    for (const uint8_t b : data) {
        text += Hex2(b);
        sum += b;
    }
    return text + Hex2((256 - sum % 256) % 256) + ";";
}

TEST(RadioEeprom, AnswersReadsAndWritesWithTheirChecksums) {
    Wire wire;  // serial number 1234 = 0x04D2
    EXPECT_EQ(wire.Send("ER83FA0281;"), "ER83FA0204D2AB;");

    EXPECT_EQ(wire.Send(WriteCommand(0x0100, {0x12, 0x34})), "EW010002FD;");
    EXPECT_EQ(wire.radio.Eeprom()[0x100], 0x12);
    EXPECT_EQ(wire.radio.Eeprom()[0x101], 0x34);
    EXPECT_EQ(wire.Send("ER010002FD;"), "ER0100021234B7;");

    // A full 64-byte block at the end of a page, and the last byte of the EEPROM.
    std::vector<uint8_t> block(64);
    for (size_t i = 0; i < block.size(); ++i) {
        block[i] = static_cast<uint8_t>(0xA0 + i);
    }
    EXPECT_EQ(wire.Send(WriteCommand(0x7EC0, block)), "EW7EC040" + Hex2(256 - (0x7E + 0xC0 + 0x40) % 256) + ";");
    const std::string answer = wire.Send(ReadCommand(0x7EC0, 64));
    ASSERT_EQ(answer.size(), 11u + 2 * 64);
    EXPECT_EQ(answer.substr(8, 4), "A0A1");
    EXPECT_EQ(wire.Send(ReadCommand(0x83FF, 1)).substr(0, 10), "ER83FF01FF");
}

TEST(RadioEeprom, RefusesBadBlocksWithAQuestionMark) {
    const std::string good = ReadCommand(0x0200, 4);
    std::string badCheck = good;
    badCheck[9] = badCheck[9] == '0' ? '1' : '0';
    const struct {
        const char* what;
        std::string command;
    } cases[] = {
        {"read checksum", badCheck},
        {"read past the end", ReadCommand(0x83FF, 2)},
        {"read across a page", ReadCommand(0x01FE, 4)},
        {"read of nothing", ReadCommand(0x0200, 0)},
        {"read of 65 bytes", ReadCommand(0x0200, 65)},
        {"read with a short address", "ER2000481;"},
        {"read with a non-hex digit", "ER02G00442;"},
        {"write checksum", WriteCommand(0x0100, {0x12, 0x34}).replace(12, 2, "00")},
        {"write with a byte missing", WriteCommand(0x0100, {0x12, 0x34}).erase(10, 2)},
        {"write across a page", WriteCommand(0x00FF, {1, 2})},
        {"write past the end", WriteCommand(0x83FF, {1, 2})},
    };
    for (const auto& c : cases) {
        Wire wire;
        const std::vector<uint8_t> before = wire.radio.Eeprom();
        EXPECT_EQ(wire.Send(c.command), "?;") << c.what << ": " << c.command;
        EXPECT_EQ(wire.radio.Eeprom(), before) << c.what;
    }
}

TEST(RadioEeprom, FileIsCreatedSavedOnEveryWriteAndKeepsItsSerialNumber) {
    CTempFolder dir;
    Options options;
    options.eepromFile = (dir / "eeprom.bin").string();
    options.serial = 300;
    {
        Wire wire(options);
        ASSERT_EQ(wire.radio.Error(), "");
        std::vector<uint8_t> file = Read(dir, "eeprom.bin");
        ASSERT_EQ(file.size(), Radio::kEepromSize);
        EXPECT_EQ(file[0], 0xFF);
        EXPECT_EQ(file[0x83FA], 0x01);
        EXPECT_EQ(file[0x83FB], 0x2C);

        ASSERT_EQ(wire.Send(WriteCommand(0x0010, {0x55})), "EW001001EF;");
        EXPECT_EQ(Read(dir, "eeprom.bin")[0x10], 0x55);
    }
    options.serial = 999;  // an existing file keeps the serial number it holds
    Wire again(options);
    EXPECT_EQ(again.Send(ReadCommand(0x0010, 1)).substr(0, 10), "ER00100155");
    EXPECT_EQ(again.Send("ER83FA0281;").substr(8, 4), "012C");

    std::ofstream((dir / "eeprom.bin").string(), std::ios::binary | std::ios::trunc) << "short";
    Radio damaged(options);
    EXPECT_NE(damaged.Error(), "");
    EXPECT_EQ(Read(dir, "eeprom.bin").size(), 5u) << "a file of the wrong size is not overwritten";
}

TEST(Radio, AnswersOnlyAtItsOwnSpeed) {
    Options options;
    options.speed = 19200;
    Wire wire(options);
    for (const uint32_t wrong : {38400u, 9600u, 4800u}) {
        wire.speed = wrong;
        EXPECT_EQ(wire.Send(";"), "") << wrong;
    }
    EXPECT_TRUE(wire.radio.Received().empty());

    wire.speed = 19200;
    EXPECT_EQ(wire.Send(";"), ";");
    // Garbage at another speed starts the command parser over.
    EXPECT_EQ(wire.Send("RV"), "");
    wire.speed = 38400;
    wire.Send("x");
    wire.speed = 19200;
    EXPECT_EQ(wire.Send("M;"), "?;");
    EXPECT_EQ(wire.Send("RVM;"), "RVM02.54;");
}

TEST(Radio, AnswersItsCommandSet) {
    Options options;
    options.mcuVersion = 288;
    options.dspVersion = 7;
    Wire wire(options);
    const struct {
        const char* command;
        const char* answer;
    } cases[] = {
        {";", ";"},
        {"RVM;", "RVM02.88;"},
        {"RVD;", "RVD00.07;"},
        {"TT0;", ""},
        {"TT;", "TT0;"},
        {"R5;", "R50;"},
        {"R53;", ""},
        {"R5;", "R53;"},
        {"R4;", "R40;"},
        {"R41;R4;", "R41;"},
        {"RVM;RVD;;", "RVM02.88;RVD00.07;;"},
        {"RVMX;", "?;"},
        {"TT7;", "?;"},
        {"FOO;", "?;"},
        {"LDD1;", "?;"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(wire.Send(c.command), c.answer) << c.command;
    }
    const std::vector<std::string> commands = wire.radio.ReceivedCommands();
    EXPECT_EQ(commands.front(), "");
    EXPECT_EQ(commands.back(), "LDD1");
    EXPECT_EQ(std::count(commands.begin(), commands.end(), "R4"), 2);
}

// What the utility derives from "I;" and "OM;": it looks for these texts in the
// identification, and reads the option-module text's characters 12 and 14.
TEST(Radio, IdentifiesEachDeviceInFirmwareAndBootLoader) {
    const struct {
        const char* device;
        bool bootLoader;
        const char* identifyContains;  // nullptr: not identified ("?;")
        char om12;
        char om14;  // 0: answer shorter than 15
    } cases[] = {
        {"RM7", false, nullptr, '-', '2'}, {"RM7", true, "RM7", 0, 0}, {"RM6", false, nullptr, '-', '1'},
        {"R5", false, "R5A", 'R', 0},      {"R5", true, "R5B", 0, 0},  {"QLA350", false, "QLA350", '-', '0'},
    };
    for (const auto& c : cases) {
        Options options;
        options.device = c.device;
        options.bootLoader = c.bootLoader;
        Wire wire(options);
        const std::string who = std::string(c.device) + (c.bootLoader ? " loader" : " firmware");
        EXPECT_EQ(wire.radio.InBootLoader(), c.bootLoader);
        EXPECT_EQ(wire.Send(";"), ";") << who;
        const std::string id = wire.Send("I;");
        if (c.identifyContains == nullptr) {
            EXPECT_EQ(id, "?;") << who;
        } else {
            EXPECT_NE(id.find(c.identifyContains), std::string::npos) << who << ": " << id;
            EXPECT_EQ(id.back(), ';');
        }
        if (c.bootLoader) {
            // The loader knows no version and no option modules.
            EXPECT_EQ(wire.Send("RVM;RVD;OM;ER83FA0281;"), "") << who;
            continue;
        }
        const std::string om = wire.Send("OM;");
        ASSERT_GE(om.size(), 13u) << who;
        EXPECT_TRUE(om.starts_with("OM")) << om;
        EXPECT_EQ(om[12], c.om12) << who << ": " << om;
        if (c.om14 == 0) {
            EXPECT_LT(om.size(), 15u) << who << ": " << om;
        } else {
            ASSERT_GE(om.size(), 15u) << who;
            EXPECT_EQ(om[14], c.om14) << who << ": " << om;
        }
    }
}

// Runs the same traffic through a radio with the given faults; returns what came back.
std::vector<std::string> Polls(const Faults& faults, int count) {
    Options options;
    options.faults = faults;
    Wire wire(options);
    std::vector<std::string> answers;
    for (int i = 0; i < count; ++i) {
        answers.push_back(wire.Send("RVM;"));
    }
    return answers;
}

TEST(RadioFaults, AreReproducibleBySeedAndDoWhatTheySay) {
    Faults faults;
    faults.drop = 0.2;
    faults.garble = 0.2;
    faults.seed = 7;
    const std::vector<std::string> first = Polls(faults, 300);
    EXPECT_EQ(Polls(faults, 300), first);
    faults.seed = 8;
    EXPECT_NE(Polls(faults, 300), first);

    int dropped = 0, garbled = 0;
    for (const std::string& a : first) {
        if (a.empty()) {
            ++dropped;
        } else if (a != "RVM02.54;") {
            ++garbled;
            ASSERT_EQ(a.size(), 9u);
            int differ = 0;
            for (size_t i = 0; i < a.size(); ++i) {
                differ += a[i] != "RVM02.54;"[i];
            }
            EXPECT_EQ(differ, 1) << a;
        }
    }
    EXPECT_GT(dropped, 30);
    EXPECT_LT(dropped, 90);
    EXPECT_GT(garbled, 20);
    EXPECT_LT(garbled, 80);
}

TEST(RadioFaults, UnplugAtResetAndAfterConfigurationBlocks) {
    // unplug=reset: the radio answers until the reset command, then is gone.
    Options options;
    options.bootLoader = true;
    options.faults.unplugAtReset = true;
    Wire atReset(options);
    EXPECT_EQ(atReset.Send(";"), ";");
    EXPECT_FALSE(atReset.radio.Unplugged());
    EXPECT_EQ(atReset.Send("LDD20000;"), "");
    EXPECT_TRUE(atReset.radio.Unplugged());

    // unplug=blocks:1: one configuration block answered, the next one asked for finds it gone;
    // plugged back in, it answers again.
    Options running;  // the radio's own firmware answers the configuration reads
    running.faults.unplugAfterBlocks = 1;
    Wire blocks(running);
    EXPECT_EQ(blocks.Send("ER000010F0;").substr(0, 8), "ER000010");
    EXPECT_FALSE(blocks.radio.Unplugged());
    EXPECT_EQ(blocks.Send("ER001010E0;"), "");
    EXPECT_TRUE(blocks.radio.Unplugged());
    blocks.radio.PlugIn();
    EXPECT_EQ(blocks.Send("ER001010E0;").substr(0, 8), "ER001010");
}

TEST(Radio, LatencyAndPaceDelayTheAnswer) {
    Options options;
    options.latencyMs = 50;
    Wire late(options);
    EXPECT_EQ(late.Send(";"), "");
    EXPECT_EQ(late.radio.NextOutputDueMs(), late.now + 50);
    EXPECT_TRUE(late.radio.TakeOutput(late.now + 49).empty());
    EXPECT_EQ(late.radio.TakeOutput(late.now + 50), std::vector<uint8_t>{';'});
    EXPECT_EQ(late.radio.NextOutputDueMs(), UINT64_MAX);

    options.latencyMs = 0;
    options.pace = true;
    options.speed = 9600;  // 10 bits a byte: about 1.04 ms each
    Wire paced(options);
    // The answer follows the command's own 4.17 ms on the wire.
    EXPECT_EQ(paced.Send("RVM;"), "");
    EXPECT_TRUE(paced.radio.TakeOutput(paced.now + 4).empty());
    EXPECT_EQ(paced.radio.NextOutputDueUs(), paced.now * 1000 + 4167 + 1042);
    EXPECT_EQ(paced.radio.NextOutputDueMs(), paced.now + 6);
    EXPECT_EQ(paced.radio.TakeOutput(paced.now + 10).size(), 5u);
    EXPECT_EQ(paced.radio.TakeOutput(paced.now + 14).size(), 4u);
}

// 2026-12-10 23:59:58 UTC at the wire's time 0.
constexpr int64_t kLateEveningMs = 1796947198000;

TEST(RadioClock, TheTimeMenuShowsTheRunningClockAndItsFieldsWrapAlone) {
    Options options;
    options.clockEpochMs = kLateEveningMs;
    options.clockOffsetMs = -3600 * 1000;  // an hour slow: 22:59:58 at time 0
    Wire wire(options);
    wire.now = 0;
    EXPECT_EQ(wire.Send("DS;"),
              "DS@@@14\xB0"
              "70\xB0"
              "00@;");                         // the frequency, outside the menu
    EXPECT_EQ(wire.Send("UP;SWT20;UP;"), "");  // the VFO's business, not the clock's
    EXPECT_EQ(wire.Send("MN073;"), "");
    EXPECT_EQ(wire.Send("MN;"), "MN073;");
    EXPECT_EQ(wire.Send("DS;"),
              "DS@@2\xB2"
              "5\xB9"
              "58@@;");
    wire.now = 2500;  // the clock runs into the next hour
    EXPECT_EQ(wire.Send("DS;"),
              "DS@@2\xB3"
              "0\xB0"
              "00@@;");
    EXPECT_EQ(wire.radio.ClockSecondsOfDay(wire.now), 23 * 3600);

    struct Step {
        const char* taps;
        int secondsOfDay;
    } const steps[] = {
        {"UP;", 23 * 3600},             // no field chosen yet
        {"SWT20;DN;", 23 * 3600 + 59},  // seconds 00 -> 59, the minute left alone
        {"UP;UP;", 23 * 3600 + 1},      // 59 -> 00 -> 01
        {"SWT27;DN;DN;", 23 * 3600 + 58 * 60 + 1},
        {"SWT19;UP;", 58 * 60 + 1},  // 23 -> 00, the date left alone
        {"SWT19;DN;DN;", 22 * 3600 + 58 * 60 + 1},
    };
    for (const Step& step : steps) {
        EXPECT_EQ(wire.Send(step.taps), "") << step.taps;
        EXPECT_EQ(wire.radio.ClockSecondsOfDay(wire.now), step.secondsOfDay) << step.taps;
    }
    // The fields moved the time of day only; the clock still turns its seconds as before.
    EXPECT_EQ(wire.radio.ClockMs(wire.now), kLateEveningMs + 2500 - 3600 * 1000 + (-2 * 60 + 1) * 1000);

    wire.radio.SetClockStuck(true);
    wire.Send("SWT20;UP;");
    EXPECT_EQ(wire.radio.ClockSecondsOfDay(wire.now), 22 * 3600 + 58 * 60 + 1);

    EXPECT_EQ(wire.Send("MN255;"), "");
    EXPECT_FALSE(wire.radio.InTimeMenu());
    wire.Send("SWT20;UP;");
    EXPECT_EQ(wire.radio.ClockSecondsOfDay(wire.now), 22 * 3600 + 58 * 60 + 1);
    EXPECT_EQ(wire.Send("MN07;MNX12;SWT;UP1;DS1;"), "?;?;?;?;?;");
}

TEST(Radio, SilentRadioHearsNothing) {
    Wire wire;
    wire.radio.SetSilent(true);
    EXPECT_EQ(wire.Send(";"), "");
    wire.radio.SetSilent(false);
    EXPECT_EQ(wire.Send(";"), ";");
    EXPECT_EQ(wire.radio.ReceivedCommands(), std::vector<std::string>{""});
}

// The text terminal: "KY" fills a buffer that drains one character per txCharMs; "TB;" reports
// what still waits and hands over decoded text, which may hold ';', at most 99 characters a time.
TEST(RadioTextTerminal, KeyedTextDrainsAtItsRateAndDecodedTextIsReportedByLength) {
    Options options;
    options.txCharMs = 100;
    options.rxCharMs = 10;
    options.rxText = "CQ;DE " + std::string(120, 'X');
    Wire wire(options);
    wire.now = 0;
    EXPECT_EQ(wire.Send("TB;"), "TB000;");  // decoding starts with the first byte heard
    wire.now = 35;
    EXPECT_EQ(wire.Send("KY CQ=\x7F;"), "");
    EXPECT_EQ(wire.Send("TB;"), "TB403CQ;;");
    wire.now = 135;
    EXPECT_EQ(wire.radio.OnAir(wire.now), "C");
    EXPECT_EQ(wire.radio.TransmitWaiting(wire.now), 3u);
    wire.now = 335;
    EXPECT_EQ(wire.Send("KY \x04;"), "");
    EXPECT_EQ(wire.radio.EndsOfTransmission(wire.now), 0u);
    wire.now = 2000;
    const std::string answer = wire.Send("TB;");
    EXPECT_EQ(answer.substr(0, 5), "TB099");
    EXPECT_EQ(answer.size(), 99u + 6);
    EXPECT_EQ(wire.radio.OnAir(wire.now), "CQ=");  // the idle character is no text
    EXPECT_EQ(wire.radio.EndsOfTransmission(wire.now), 1u);
    wire.now = 5000;
    EXPECT_EQ(wire.Send("TB;"), "TB024" + std::string(24, 'X') + ";");
    EXPECT_EQ(wire.Send("TB;"), "TB000;");
    EXPECT_EQ(wire.Send("KY" + std::string(70, 'A') + ";"), "?;");  // no space after the name
    EXPECT_EQ(wire.Send("KY " + std::string(70, 'A') + ";TB;"), "TB900;");
    EXPECT_EQ(wire.radio.TransmitWaiting(wire.now), Radio::kTransmitBufferSize);
    EXPECT_EQ(wire.Send("TB1;KY;"), "?;?;");
}

// garble=CMD[:N] damages only the N-th answer to that very command, and only once.
TEST(RadioFaults, GarbleOnceTurnsTheLastDigitOfOneAnswerIntoALetter) {
    Options options;
    std::string error;
    ASSERT_TRUE(ParseFaults("garble=BN:2,garble=PC", options.faults, error)) << error;
    Wire wire(options);
    EXPECT_EQ(wire.Send("BN;"), "BN05;");
    EXPECT_EQ(wire.Send("BN03;BN;"), "BN0D;");  // the second answer to "BN;"
    EXPECT_EQ(wire.Send("BN;"), "BN03;");
    EXPECT_EQ(wire.Send("PC;"), "PC01A;");
    EXPECT_EQ(wire.Send("PC;PC;"), "PC010;PC010;");
    EXPECT_EQ(wire.Send("AN;"), "AN1;");
}

TEST(RadioOptions, TransmittingStartsKeyedUntilReceive) {
    Options options;
    options.transmitting = true;
    Wire wire(options);
    EXPECT_EQ(wire.Send("TQ;"), "TQ1;");
    EXPECT_TRUE(wire.radio.Transmitting(wire.now));
    EXPECT_EQ(wire.Send("RX;TQ;"), "TQ0;");
}

TEST(RadioOptions, ParseFaultListsAndVersions) {
    Faults f;
    std::string error;
    ASSERT_TRUE(ParseFaults("drop=0.01,nak=0.02,garble=0.005,lose=0.001,seed=7,unplug=40", f, error)) << error;
    EXPECT_DOUBLE_EQ(f.drop, 0.01);
    EXPECT_DOUBLE_EQ(f.nak, 0.02);
    EXPECT_DOUBLE_EQ(f.garble, 0.005);
    EXPECT_DOUBLE_EQ(f.lose, 0.001);
    EXPECT_EQ(f.seed, 7u);
    EXPECT_EQ(f.unplugAfterPackets, 40);
    EXPECT_FALSE(f.unplugAtReset);
    ASSERT_TRUE(ParseFaults("unplug=reset", f, error)) << error;
    EXPECT_TRUE(f.unplugAtReset);
    EXPECT_EQ(f.unplugAfterPackets, -1);
    ASSERT_TRUE(ParseFaults("unplug=blocks:12", f, error)) << error;
    EXPECT_EQ(f.unplugAfterBlocks, 12);
    EXPECT_EQ(f.unplugAfterPackets, -1);
    ASSERT_TRUE(ParseFaults("", f, error));
    EXPECT_EQ(f.drop, 0);
    EXPECT_EQ(f.unplugAfterBlocks, -1);
    EXPECT_EQ(f.unplugAfterPackets, -1);
    EXPECT_FALSE(f.unplugAtReset);
    ASSERT_TRUE(ParseFaults("garble=0.5,garble=BN,garble=TQ:3", f, error)) << error;
    EXPECT_DOUBLE_EQ(f.garble, 0.5);
    ASSERT_EQ(f.garbleOnce.size(), 2u);
    EXPECT_EQ(f.garbleOnce[0].command, "BN");
    EXPECT_EQ(f.garbleOnce[0].nth, 1);
    EXPECT_EQ(f.garbleOnce[1].command, "TQ");
    EXPECT_EQ(f.garbleOnce[1].nth, 3);
    for (const char* bad :
         {"drop", "drop=2", "drop=-0.1", "drop=0.1x", "jitter=1", "unplug=-1", "unplug=resets",
          "unplug=blocks:", "unplug=blocks:-2", "seed=abc", "garble=BN:0", "garble=BN:x", "garble=B;N", "garble=BN:"}) {
        error.clear();
        EXPECT_FALSE(ParseFaults(bad, f, error)) << bad;
        EXPECT_NE(error, "") << bad;
    }

    uint16_t v = 0;
    EXPECT_TRUE(ParseVersion("02.54", v));
    EXPECT_EQ(v, 254);
    EXPECT_TRUE(ParseVersion("2.88", v));
    EXPECT_EQ(v, 288);
    EXPECT_TRUE(ParseVersion("99.99", v));
    EXPECT_EQ(v, 9999);
    for (const char* bad : {"254", "2.5", "02,54", "002.54", "0a.54", ""}) {
        EXPECT_FALSE(ParseVersion(bad, v)) << bad;
    }
}

}  // namespace
}  // namespace rm7sim::test
