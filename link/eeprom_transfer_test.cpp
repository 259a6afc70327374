#include "link/eeprom_transfer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "tests/support/scripted_port.h"

namespace rm7 {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

class CBlockMachine : public CStateHost<CBlockMachine> {
  public:
    static constexpr std::uint32_t kTimerId = 10;
    explicit CBlockMachine(CRadioSession& session)
        : CStateHost(session, kTimerId),
          read(*this, "Read", &FinalState(), 0, 0, buffer),
          write(*this, "Write", &FinalState(), 0, 0, buffer) {}

    std::uint8_t buffer[512] = {};
    CReadPicPromState<CBlockMachine> read;
    CWritePicPromState<CBlockMachine> write;
};

// A radio's EEPROM behind the block commands, answering as the radio does.
std::string EepromAnswer(const std::string& cmd, std::vector<std::uint8_t>& eeprom) {
    auto hex = [](const std::string& s, std::size_t pos) { return std::stoul(s.substr(pos, 2), nullptr, 16); };
    if (cmd.rfind("ER", 0) == 0 && cmd.size() == 11) {
        const unsigned address = hex(cmd, 2) * 256 + hex(cmd, 4);
        const unsigned length = hex(cmd, 6);
        std::vector<std::uint8_t> data(eeprom.begin() + address, eeprom.begin() + address + length);
        std::string out = cmd.substr(0, 8);
        unsigned sum = (address >> 8) + (address & 0xFF) + length;
        for (std::uint8_t b : data) {
            out += StrFormat("%02X", b);
            sum += b;
        }
        return out + StrFormat("%02X;", (256 - sum % 256) % 256);
    }
    if (cmd.rfind("EW", 0) == 0) {
        const unsigned address = hex(cmd, 2) * 256 + hex(cmd, 4);
        const unsigned length = hex(cmd, 6);
        for (unsigned i = 0; i < length; ++i) {
            eeprom[address + i] = static_cast<std::uint8_t>(hex(cmd, 8 + 2 * i));
        }
        const unsigned sum = (address >> 8) + (address & 0xFF) + length;
        return cmd.substr(0, 8) + StrFormat("%02X;", (256 - sum % 256) % 256);
    }
    return "";
}

class EepromTransferTest : public test::CScriptedMachineTest<CBlockMachine> {
  protected:
    EepromTransferTest() {
        eeprom.resize(kEepromSize);
        for (std::size_t i = 0; i < eeprom.size(); ++i) {
            eeprom[i] = static_cast<std::uint8_t>(i * 7 + 3);
        }
    }
    void AnswerFromEeprom() {
        port->script = [this](const std::string& w, std::uint32_t) { return EepromAnswer(w, eeprom); };
    }
    Result RunToEnd(std::uint32_t maxMs = 100000) {
        pump.AdvanceUntil([this] { return machine->IsIdle(); }, maxMs);
        EXPECT_TRUE(machine->IsIdle());
        return machine->GetResult();
    }

    std::vector<std::uint8_t> eeprom;
};

struct BlockCase {
    std::uint32_t address;
    std::uint32_t length;
    std::vector<std::string> commands;
};

TEST_F(EepromTransferTest, ReadSplitsAtSixtyFourBytesAndPageEnds) {
    const BlockCase cases[] = {
        {0x0100, 150, {"ER010040BF;", "ER0140407F;", "ER01801669;"}},
        {0x01FC, 10, {"ER01FC04FF;", "ER020006F8;"}},
        {0x83FA, 2, {"ER83FA0281;"}},
    };
    AnswerFromEeprom();
    for (const BlockCase& c : cases) {
        SCOPED_TRACE(c.address);
        port->sent.clear();
        std::fill(std::begin(machine->buffer), std::end(machine->buffer), 0);
        machine->read.SetTransfer(c.address, c.length, machine->buffer);
        ASSERT_TRUE(machine->Start(machine->read));
        EXPECT_EQ(RunToEnd(), 0u);
        EXPECT_THAT(port->SentTexts(), ElementsAreArray(c.commands));
        EXPECT_TRUE(std::equal(machine->buffer, machine->buffer + c.length, eeprom.begin() + c.address));
    }
}

TEST_F(EepromTransferTest, ReadPastTheEndIsRefusedBeforeSending) {
    AnswerFromEeprom();
    machine->read.SetTransfer(0x83FF, 2, machine->buffer);
    ASSERT_TRUE(machine->Start(machine->read));
    EXPECT_EQ(RunToEnd(), kErrInvalidEepromAddress);
    EXPECT_THAT(port->SentTexts(), ElementsAre("ER83FF017D;"));
}

TEST_F(EepromTransferTest, ReadAnswersThatFailTheirCheckAreIgnoredUntilTheTimeOut) {
    // Each is a damaged answer to ER010004FB (4 bytes at 0x0100).
    const std::string good = EepromAnswer("ER010004FB;", eeprom);
    const std::string damaged[] = {
        good.substr(0, 9) + "G" + good.substr(10),                                 // not hex
        "ER01000302" + good.substr(10, 4) + "00;",                                 // fewer bytes than asked
        "ER01000500" + good.substr(8),                                             // length byte above the request
        good.substr(0, good.size() - 3) + "00;",                                   // checksum
        "ER01010400" + good.substr(10),                                            // another address
        good.substr(0, good.size() - 3) + good.substr(good.size() - 3, 2) + "0;",  // one digit too many
    };
    for (const std::string& bad : damaged) {
        SCOPED_TRACE(bad);
        int sends = 0;
        port->script = [&](const std::string&, std::uint32_t) { return ++sends == 1 ? bad : good; };
        std::fill(std::begin(machine->buffer), std::end(machine->buffer), 0xEE);
        machine->read.SetTransfer(0x0100, 4, machine->buffer);
        ASSERT_TRUE(machine->Start(machine->read));
        pump.RunUntilIdle();
        EXPECT_FALSE(machine->IsIdle());
        EXPECT_EQ(machine->buffer[0], 0xEE) << "a refused answer must not reach the buffer";
        EXPECT_EQ(RunToEnd(), 0u);
        EXPECT_EQ(sends, 2);
        EXPECT_TRUE(std::equal(machine->buffer, machine->buffer + 4, eeprom.begin() + 0x100));
    }
}

TEST_F(EepromTransferTest, WriteSendsBlocksWithinTheWriteRangesOnly) {
    AnswerFromEeprom();
    for (int i = 0; i < 100; ++i) {
        machine->buffer[i] = static_cast<std::uint8_t>(0xA0 + i);
    }
    machine->write.SetTransfer(0x01F0, 100, machine->buffer);
    ASSERT_TRUE(machine->Start(machine->write));
    EXPECT_EQ(RunToEnd(), 0u);
    EXPECT_EQ(port->sent.size(), 3u);  // 16 to the page end, then 64 and 20
    EXPECT_TRUE(std::equal(machine->buffer, machine->buffer + 100, eeprom.begin() + 0x1F0));

    // Refused before anything is sent: a block that runs past a write range's end, one where no
    // range is, and the serial number, which the radio's map lets the program only read.
    const std::pair<std::uint32_t, std::uint32_t> refused[] = {
        {0x03E0, 32},
        {0x0A00, 16},
        {kSerialNumberAddress, kSerialNumberSize},
    };
    for (const auto& [address, length] : refused) {
        SCOPED_TRACE(address);
        port->sent.clear();
        machine->write.SetTransfer(address, length, machine->buffer);
        ASSERT_TRUE(machine->Start(machine->write));
        EXPECT_EQ(RunToEnd(), kErrInvalidEepromAddress);
        EXPECT_TRUE(port->sent.empty());
    }
}

TEST_F(EepromTransferTest, EachBlockHasItsOwnRetries) {
    // Three lost answers on every block: a transfer of many blocks still completes.
    int sends = 0;
    port->script = [&](const std::string& w, std::uint32_t) { return ++sends % 4 == 0 ? EepromAnswer(w, eeprom) : ""; };
    machine->read.SetTransfer(0x0100, 256, machine->buffer);
    ASSERT_TRUE(machine->Start(machine->read));
    EXPECT_EQ(RunToEnd(), 0u);
    EXPECT_EQ(port->sent.size(), 16u);
}

}  // namespace
}  // namespace rm7
