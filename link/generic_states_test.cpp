#include "link/generic_states.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/support/scripted_port.h"

namespace rm7 {

// The configuration write ranges live with the configuration code; these tests need only
// a range to write into.
bool IsWithinWriteRange(std::uint16_t address, std::uint16_t length) {
    return address >= 0x0100 && address + length <= 0x0300;
}

namespace {

using test::CRecordingNotifier;
using test::CRecordingWindow;
using test::CScriptedPort;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

class CBlockMachine : public CStateHost<CBlockMachine> {
  public:
    static constexpr std::uint32_t kTimerId = 10;
    explicit CBlockMachine(CRadioSession& session)
        : CStateHost(session, kTimerId),
          read(*this, "Read", &FinalState(), 0, 0, buffer),
          write(*this, "Write", &FinalState(), 0, 0, buffer),
          findSpeed(*this, &FinalState()),
          identify(*this, &FinalState()),
          optionModule(*this, &FinalState()),
          getR5(*this, &restoreR5),
          restoreR5(*this, &FinalState()),
          version(*this, "Version", &FinalState(), 0xE200000D, "RVM;", 500) {}
    std::string& SavedR5() { return savedR5; }

    std::uint8_t buffer[512] = {};
    std::string savedR5;
    CReadPicPromState<CBlockMachine> read;
    CWritePicPromState<CBlockMachine> write;
    CFindSpeedState<CBlockMachine> findSpeed;
    CIdentifyState<CBlockMachine> identify;
    CGetOptionModuleState<CBlockMachine> optionModule;
    CGetR5State<CBlockMachine> getR5;
    CRestoreR5State<CBlockMachine> restoreR5;
    CCommandResponseRetryState<CBlockMachine> version;
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

class GenericStatesTest : public test::CScriptedMachineTest<CBlockMachine> {
  protected:
    GenericStatesTest() {
        eeprom.resize(0x8400);
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

TEST_F(GenericStatesTest, RetryStateSendsEightTimesOneTimeOutApartThenFails) {
    ASSERT_TRUE(machine->Start(machine->version));
    EXPECT_EQ(RunToEnd(), 0xE200000Du);
    ASSERT_EQ(port->sent.size(), 8u);
    for (std::size_t i = 0; i < port->sent.size(); ++i) {
        EXPECT_EQ(port->sent[i].text, "RVM;");
        EXPECT_EQ(port->sent[i].tick, 500u * i);
    }
    EXPECT_EQ(pump.ArmedTimers(), 0u);
}

struct BlockCase {
    std::uint32_t address;
    std::uint32_t length;
    std::vector<std::string> commands;
};

TEST_F(GenericStatesTest, ReadSplitsAtSixtyFourBytesAndPageEnds) {
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

TEST_F(GenericStatesTest, ReadPastTheEndIsRefusedBeforeSending) {
    AnswerFromEeprom();
    machine->read.SetTransfer(0x83FF, 2, machine->buffer);
    ASSERT_TRUE(machine->Start(machine->read));
    EXPECT_EQ(RunToEnd(), kErrInvalidEepromAddress);
    EXPECT_THAT(port->SentTexts(), ElementsAre("ER83FF017D;"));
}

TEST_F(GenericStatesTest, ReadAnswersThatFailTheirCheckAreIgnoredUntilTheTimeOut) {
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

TEST_F(GenericStatesTest, WriteSendsBlocksWithinTheWriteRangesOnly) {
    AnswerFromEeprom();
    for (int i = 0; i < 100; ++i) {
        machine->buffer[i] = static_cast<std::uint8_t>(0xA0 + i);
    }
    machine->write.SetTransfer(0x01F0, 100, machine->buffer);
    ASSERT_TRUE(machine->Start(machine->write));
    EXPECT_EQ(RunToEnd(), 0u);
    EXPECT_EQ(port->sent.size(), 3u);  // 16 to the page end, then 64 and 20
    EXPECT_TRUE(std::equal(machine->buffer, machine->buffer + 100, eeprom.begin() + 0x1F0));

    port->sent.clear();
    machine->write.SetTransfer(0x0310, 32, machine->buffer);
    ASSERT_TRUE(machine->Start(machine->write));
    EXPECT_EQ(RunToEnd(), kErrInvalidEepromAddress);
    EXPECT_TRUE(port->sent.empty());
}

TEST_F(GenericStatesTest, EachBlockHasItsOwnRetries) {
    // Three lost answers on every block: a transfer of many blocks still completes.
    int sends = 0;
    port->script = [&](const std::string& w, std::uint32_t) { return ++sends % 4 == 0 ? EepromAnswer(w, eeprom) : ""; };
    machine->read.SetTransfer(0x0100, 256, machine->buffer);
    ASSERT_TRUE(machine->Start(machine->read));
    EXPECT_EQ(RunToEnd(), 0u);
    EXPECT_EQ(port->sent.size(), 16u);
}

TEST_F(GenericStatesTest, FindSpeedWithAFixedSpeedPollsOnlyThere) {
    model->fixedSerialSpeed.Set(19200);
    ASSERT_TRUE(machine->Start(machine->findSpeed));
    EXPECT_EQ(RunToEnd(), kErrNoResponseAfterReset);
    ASSERT_EQ(port->sent.size(), 5u);
    for (const auto& s : port->sent) {
        EXPECT_EQ(s.text, ";");
        EXPECT_EQ(s.speed, 19200u);
    }
    EXPECT_EQ(session->Port().Speed(), 19200u);
}

TEST_F(GenericStatesTest, AutomaticSpeedSearchTriesFourSpeedsAndFindsTheRadio) {
    ASSERT_TRUE(machine->Start(machine->findSpeed));
    EXPECT_EQ(RunToEnd(), kErrNoResponseAfterReset);
    std::vector<std::uint32_t> speeds;
    for (const auto& s : port->sent) {
        if (speeds.empty() || speeds.back() != s.speed) {
            speeds.push_back(s.speed);
        }
    }
    EXPECT_THAT(speeds, ElementsAre(38400u, 19200u, 9600u, 4800u));
    EXPECT_EQ(port->sent.size(), 20u);
    EXPECT_EQ(port->sent.back().tick, 1900u);

    port->sent.clear();
    port->script = [](const std::string&, std::uint32_t speed) { return speed == 9600 ? ";" : ""; };
    ASSERT_TRUE(machine->Start(machine->findSpeed));
    EXPECT_EQ(RunToEnd(), 0u);
    EXPECT_EQ(session->Port().Speed(), 9600u);
    EXPECT_EQ(notifier.shown.back(), "Connected to RM7 on /dev/ttyTEST at 9600 bit/s");
}

// A job's look for a radio the contact has found at this speed is a check: it is logged (as a
// contact) only when the radio does not answer its first poll.
TEST_F(GenericStatesTest, SpeedCheckOfAKnownRadioIsLoggedOnlyWhenItHasToSearch) {
    struct Case {
        const char* name;
        int firmwareStatus;
        bool answersAtOnce;
        bool logged;
    };
    const Case cases[] = {
        {"known radio answers at once", kFirmwareRunning, true, false},
        {"known radio answers the second poll", kFirmwareRunning, false, true},
        {"no radio known", kFirmwareNone, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        model->firmwareStatus.Set(static_cast<FirmwareStatusEnum>(c.firmwareStatus));
        notifier.shown.clear();
        port->sent.clear();
        int polls = 0;
        port->script = [&polls, &c](const std::string&, std::uint32_t) {
            return (++polls > 1 || c.answersAtOnce) ? ";" : "";
        };
        ASSERT_TRUE(machine->Start(machine->findSpeed));
        EXPECT_EQ(RunToEnd(), 0u);
        const bool attempted = std::count(notifier.shown.begin(), notifier.shown.end(),
                                          "Attempting to contact RM7 on /dev/ttyTEST at 38400 bit/s") == 1;
        const bool connected = std::count(notifier.shown.begin(), notifier.shown.end(),
                                          "Connected to RM7 on /dev/ttyTEST at 38400 bit/s") == 1;
        EXPECT_EQ(attempted, c.logged);
        EXPECT_EQ(connected, c.logged);
    }
}

TEST_F(GenericStatesTest, IdentifyTakesTheFirstMatchingRow) {
    struct Case {
        const char* answer;
        TarnwellDevice kind;
        FirmwareStatusEnum status;
        Result result;
    };
    const Case cases[] = {
        {"IRM7 R5A;", kDeviceRM7, kFirmwareBootLoader, 0},
        {"I;", kDeviceNone, kFirmwareBootLoader, 0},
        {"IXYZ;", kDeviceNone, kFirmwareNone, 0},
        {"ISV2;", kDeviceNone, kFirmwareRunning, kErrUnexpectedDevice},
        {"", kDeviceNone, kFirmwareNone, 0},  // no answer at all
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answer);
        std::string answer = c.answer;
        port->script = [answer](const std::string&, std::uint32_t) { return answer; };
        ASSERT_TRUE(machine->Start(machine->identify));
        EXPECT_EQ(RunToEnd(), c.result);
        EXPECT_EQ(model->deviceKind.Get(), c.kind);
        EXPECT_EQ(machine->FirmwareStatus(), c.status);
    }
}

TEST_F(GenericStatesTest, OptionModulesDecideTheDevice) {
    using S = CGetOptionModuleState<CBlockMachine>;
    EXPECT_EQ(S::DeviceFromOptionModules("OM0123456789AB2;"), kDeviceRM7);
    EXPECT_EQ(S::DeviceFromOptionModules("OM0123456789AB1;"), kDeviceRM6);
    EXPECT_EQ(S::DeviceFromOptionModules("OM0123456789AB-;"), kDeviceR5);
    EXPECT_EQ(S::DeviceFromOptionModules("OM0123456789RBX;"), kDeviceR5);
    EXPECT_EQ(S::DeviceFromOptionModules("OM0123456789AB7;"), kDeviceNone);
    EXPECT_EQ(S::DeviceFromOptionModules("OM0123456789R;"), kDeviceR5);
    EXPECT_EQ(S::DeviceFromOptionModules("OM01234567;"), kDeviceNone);
}

TEST_F(GenericStatesTest, R5ModeIsSavedAndPutBack) {
    port->script = [](const std::string& w, std::uint32_t) -> std::string {
        if (w == "R5;") {
            return "R51;";
        }
        return w == "R51;R5;" ? "R51;" : "";
    };
    ASSERT_TRUE(machine->Start(machine->getR5));
    EXPECT_EQ(RunToEnd(), 0u);
    EXPECT_EQ(machine->savedR5, "R51;");
    EXPECT_THAT(port->SentTexts(), ElementsAre("R5;", "R51;R5;"));

    port->sent.clear();
    machine->savedR5.clear();
    ASSERT_TRUE(machine->Start(machine->restoreR5));
    EXPECT_EQ(RunToEnd(), 0u);
    EXPECT_TRUE(port->sent.empty());
}

}  // namespace
}  // namespace rm7
