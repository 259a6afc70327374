#include "sim/boot_loader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "sim/radio.h"
#include "sim/test_wire.h"

// The loaders are heard through the radio they sit in, as the utility hears them.
namespace rm7sim::test {
namespace {

// An MCU image as the utility's loader sends it: 1003 blocks of 128 bytes.
std::vector<uint8_t> McuImage(const std::string& marker) {
    std::vector<uint8_t> image(Radio::kMcuHigh - Radio::kMcuLow, 0xFF);
    for (size_t i = 0; i < 4096; ++i) {
        image[i] = static_cast<uint8_t>(i * 7 + 3);
    }
    std::copy(marker.begin(), marker.end(), image.begin() + 0x500);
    return image;
}

// Block `address` of the image; `sent` is the address the packet carries (bit 17 marks
// the last packet), and the first packet carries 0xDE 0xAD in place of the image's bytes.
std::vector<uint8_t> Packet(const std::vector<uint8_t>& image, uint32_t address, uint32_t sent, bool first = false) {
    const uint32_t offset = address - Radio::kMcuLow;
    std::vector<uint8_t> packet(image.begin() + offset, image.begin() + offset + 128);
    if (first) {
        packet[0] = 0xDE;
        packet[1] = 0xAD;
    }
    packet.push_back(static_cast<uint8_t>(sent));
    packet.push_back(static_cast<uint8_t>(sent >> 8));
    packet.push_back(static_cast<uint8_t>(sent >> 16));
    uint8_t sum = 0;
    for (const uint8_t b : packet) {
        sum = static_cast<uint8_t>(sum + b);
    }
    packet.push_back(static_cast<uint8_t>(-sum));
    return packet;
}

std::vector<uint8_t> Packet(const std::vector<uint8_t>& image, uint32_t address) {
    return Packet(image, address, address, address == Radio::kMcuLow);
}

std::vector<uint8_t> LastPacket(const std::vector<uint8_t>& image) {
    return Packet(image, Radio::kMcuLow, Radio::kMcuLow | 0x20000);
}

TEST(RadioMcuLoad, TakesAWholeImageThroughTheBootLoaderWithNakAndResync) {
    Options options;
    options.speed = 19200;
    Wire wire(options);
    const std::vector<uint8_t> image = McuImage("SIMVERSION:0288");

    EXPECT_EQ(wire.Send("LDM;"), "");
    EXPECT_TRUE(wire.radio.InBootLoader());
    EXPECT_EQ(wire.radio.Speed(), 38400u);
    wire.speed = 38400;
    EXPECT_EQ(wire.Send("D"), "D");

    for (uint32_t a = Radio::kMcuLow; a < Radio::kMcuHigh; a += 128) {
        std::vector<uint8_t> packet = Packet(image, a);
        if (a == 0x1000) {
            std::vector<uint8_t> damaged = packet;
            damaged[5] ^= 0x40;
            ASSERT_EQ(wire.SendBytes(damaged), "N");
        }
        if (a == 0x1080) {
            // One byte lost on the way: the loader waits; fill bytes bring it to a boundary.
            std::vector<uint8_t> shortPacket = packet;
            shortPacket.erase(shortPacket.begin() + 40);
            ASSERT_EQ(wire.SendBytes(shortPacket), "");
            ASSERT_EQ(wire.Send(";"), "N");
        }
        if (a == 0x1100) {
            ASSERT_EQ(wire.SendBytes(Packet(image, a, Radio::kMcuHigh)), "N") << "beyond the flash";
            ASSERT_EQ(wire.SendBytes(Packet(image, a, a + 1)), "N") << "not on a block boundary";
        }
        ASSERT_EQ(wire.SendBytes(packet), "A") << std::hex << a;
    }
    EXPECT_EQ(wire.radio.McuFlash()[0], 0xDE);
    EXPECT_EQ(wire.radio.McuVersion(), 254) << "the version changes only when the load is complete";

    EXPECT_EQ(wire.SendBytes(LastPacket(image)), "B");
    EXPECT_EQ(wire.radio.McuFlash(), image);
    EXPECT_EQ(wire.radio.McuVersion(), 288);
    EXPECT_FALSE(wire.radio.InBootLoader());
    EXPECT_EQ(wire.radio.Packets(), 1003u + 5);

    // The restarted radio is deaf for a moment, then answers at its own speed again.
    wire.speed = 19200;
    EXPECT_EQ(wire.Send(";"), "");
    wire.now += Radio::kResetMs;
    EXPECT_EQ(wire.Send("RVM;"), "RVM02.88;");
}

TEST(RadioMcuLoad, WaitingLoaderLoadsAtItsOwnSpeedAndKeepsTheVersionWithoutMarker) {
    CTempFolder dir;
    Options options;
    options.speed = 9600;
    options.bootLoader = true;
    options.flashDumpDir = dir.Path().string();
    Wire wire(options);
    wire.speed = 9600;

    // A reset does not leave the loader while no firmware is in flash.
    EXPECT_EQ(wire.Send("LDD20000;"), "");
    wire.now += Radio::kResetMs;
    EXPECT_TRUE(wire.radio.InBootLoader());

    const std::vector<uint8_t> image = McuImage("no marker here");
    EXPECT_EQ(wire.Send("D"), "D");
    for (uint32_t a = Radio::kMcuLow; a < Radio::kMcuHigh; a += 128) {
        ASSERT_EQ(wire.SendBytes(Packet(image, a)), "A");
    }
    EXPECT_EQ(wire.SendBytes(LastPacket(image)), "B");
    EXPECT_EQ(wire.radio.McuVersion(), 254);
    EXPECT_EQ(Read(dir, "mcu.bin"), image);
    EXPECT_EQ(wire.radio.Error(), "");

    wire.now += Radio::kResetMs;
    EXPECT_EQ(wire.Send("RVM;"), "RVM02.54;");
}

// A loader started where an interrupted load left it takes everything as packet data, polls
// and identification included, until the packet is whole; then it loads as usual.
TEST(RadioMcuLoad, LoaderLeftMidPacketWaitsForTheRestOfThePacket) {
    const std::vector<uint8_t> image = McuImage("SIMVERSION:0300");
    for (const size_t taken : {1u, 57u, 131u}) {
        SCOPED_TRACE(taken);
        Options options;
        options.midPacket = taken;
        Wire wire(options);
        EXPECT_TRUE(wire.radio.InBootLoader());
        EXPECT_EQ(wire.radio.Speed(), 38400u);
        size_t fills = 0;
        std::string answer;
        while (answer.empty() && fills < 200) {
            answer = wire.Send(";");
            ++fills;
        }
        EXPECT_EQ(answer, "N");
        EXPECT_EQ(fills, Radio::kPacketSize - taken);
        EXPECT_TRUE(wire.radio.ReceivedCommands().empty());
        EXPECT_EQ(wire.radio.Packets(), 1u);
        // At the boundary: a good packet is taken, an identification is not answered.
        EXPECT_EQ(wire.SendBytes(Packet(image, Radio::kMcuLow)), "A");
        EXPECT_EQ(wire.Send("I;"), "");
    }
}

std::vector<uint8_t> Chunk(const std::vector<uint8_t>& image, size_t at, size_t length) {
    uint8_t sum = 0;
    for (size_t i = at; i < at + length; ++i) {
        sum = static_cast<uint8_t>(sum + image[i]);
    }
    const std::string announce = "LDF2" + Hex2(static_cast<unsigned>(length)) + Hex2(sum) + ";";
    std::vector<uint8_t> bytes(announce.begin(), announce.end());
    bytes.insert(bytes.end(), image.begin() + at, image.begin() + at + length);
    return bytes;
}

TEST(RadioDspLoad, StoresAnnouncedChunksOnceEvenWhenAnAcknowledgementIsLost) {
    CTempFolder dir;
    Options options;
    options.flashDumpDir = dir.Path().string();
    Wire wire(options);
    std::vector<uint8_t> image(130 + 128, 0xFF);  // the last two chunks hold the same bytes
    for (size_t i = 0; i < 130; ++i) {
        image[i] = static_cast<uint8_t>(i);
    }
    const std::string marker = "SIMVERSION:0301";
    std::copy(marker.begin(), marker.end(), image.begin() + 70);

    EXPECT_EQ(wire.Send("LDF2;"), "");
    EXPECT_TRUE(wire.radio.InDspLoad());
    EXPECT_EQ(wire.Send(";"), "") << "deaf while the flash erases";
    wire.now += Radio::kDspEraseMs;

    EXPECT_EQ(wire.SendBytes(Chunk(image, 0, 64)), "A");
    // The 'A' is lost: the utility polls, then sends the same chunk again; a copy that
    // loses a byte on the way (completed by a poll, rejected) does not make it a new chunk.
    EXPECT_EQ(wire.Send(";"), "N");
    std::vector<uint8_t> shortCopy = Chunk(image, 0, 64);
    shortCopy.pop_back();
    EXPECT_EQ(wire.SendBytes(shortCopy), "");
    EXPECT_EQ(wire.Send(";"), "N");
    EXPECT_EQ(wire.SendBytes(Chunk(image, 0, 64)), "A");
    // A damaged chunk is rejected; a chunk short of one byte is completed by a poll.
    std::vector<uint8_t> damaged = Chunk(image, 64, 64);
    damaged[20] ^= 1;
    EXPECT_EQ(wire.SendBytes(damaged), "N");
    std::vector<uint8_t> shortChunk = Chunk(image, 64, 64);
    shortChunk.pop_back();
    EXPECT_EQ(wire.SendBytes(shortChunk), "");
    EXPECT_EQ(wire.Send(";"), "N");
    EXPECT_EQ(wire.SendBytes(Chunk(image, 64, 64)), "A");
    EXPECT_EQ(wire.SendBytes(Chunk(image, 128, 2)), "A");
    EXPECT_EQ(wire.SendBytes(Chunk(image, 130, 64)), "A");
    EXPECT_EQ(wire.SendBytes(Chunk(image, 194, 64)), "A") << "equal bytes without a poll are a new chunk";
    EXPECT_EQ(wire.radio.DspFlash(), image);
    EXPECT_EQ(wire.radio.DspVersion(), 254);

    EXPECT_EQ(wire.Send("LDD20000;"), "");
    EXPECT_FALSE(wire.radio.InDspLoad());
    EXPECT_EQ(wire.radio.DspVersion(), 301);
    EXPECT_EQ(Read(dir, "dsp.bin"), image);
    wire.now += Radio::kResetMs;
    EXPECT_EQ(wire.Send("RVD;"), "RVD03.01;");
}

TEST(RadioFaults, NakLoseAndUnplugActOnLoaderPackets) {
    const std::vector<uint8_t> image = McuImage("");
    const std::vector<uint8_t> packet = Packet(image, 0x800);
    Options options;
    options.bootLoader = true;

    options.faults = {};
    options.faults.nak = 1;
    Wire nak(options);
    ASSERT_EQ(nak.Send("D"), "D");
    EXPECT_EQ(nak.SendBytes(packet), "N") << "a good packet rejected";
    EXPECT_EQ(nak.radio.McuFlash()[2], 0xFF);

    options.faults = {};
    options.faults.lose = 0.002;
    Wire lose(options);
    ASSERT_EQ(lose.Send("D"), "D");
    size_t acknowledged = 0;
    for (int i = 0; i < 20; ++i) {
        const std::string answer = lose.SendBytes(packet);
        if (answer == "A") {
            ++acknowledged;
            continue;
        }
        // The loader lost count: poll with fill bytes until it rejects.
        std::string poll;
        for (int f = 0; f < 132 && poll.empty(); ++f) {
            poll = lose.Send(";");
        }
        ASSERT_EQ(poll, "N");
    }
    EXPECT_GT(acknowledged, 0u);
    EXPECT_LT(acknowledged, 20u);

    options.faults = {};
    options.faults.unplugAfterPackets = 2;
    Wire unplug(options);
    ASSERT_EQ(unplug.Send("D"), "D");
    EXPECT_EQ(unplug.SendBytes(packet), "A");
    EXPECT_EQ(unplug.SendBytes(packet), "A");
    EXPECT_FALSE(unplug.radio.Unplugged());
    EXPECT_EQ(unplug.SendBytes(packet), "");
    EXPECT_TRUE(unplug.radio.Unplugged());
}

}  // namespace
}  // namespace rm7sim::test
