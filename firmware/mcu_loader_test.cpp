#include "firmware/mcu_loader_machine.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/support/firmware_files.h"
#include "tests/support/loader_rig.h"
#include "tests/support/temp_folder.h"

namespace rm7 {
namespace {

using test::CLoaderRig;
using test::CScriptedRadio;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

std::uint8_t Sum(const std::string& bytes) {
    std::uint8_t sum = 0;
    for (char c : bytes) {
        sum = static_cast<std::uint8_t>(sum + static_cast<std::uint8_t>(c));
    }
    return sum;
}

std::uint32_t PacketAddress(const std::string& packet) {
    auto byte = [&](std::size_t i) { return static_cast<std::uint32_t>(static_cast<std::uint8_t>(packet[i])); };
    return byte(128) | byte(129) << 8 | byte(130) << 16;
}

// The MCU loader on a scripted radio: each test changes one answer of a good load.
class McuLoaderScriptTest : public ::testing::Test {
  protected:
    void SetUp() override {
        image = test::McuImageBytes(7, "0288");
        file = dir / "fmcu0288.hex";
        test::WriteHexFile(file, image, kMcuLowAddress);
    }

    // Contacts the scripted radio, then runs the load to its end.
    Result Load(CScriptedRadio& radio) {
        Contact(radio);
        return RunLoad();
    }
    void Contact(CScriptedRadio& radio) {
        radio.Attach(*rig.scriptedPort);
        if (rig.Contact() != kOk) {
            ADD_FAILURE() << "no contact";
        }
        rig.scriptedPort->sent.clear();
    }
    Result RunLoad() {
        job = std::make_unique<CLoaderJob>(*rig.session, rig.view, LoaderPart::Mcu, file);
        EXPECT_TRUE(rig.Run(*job)) << "the load never finished";
        return job->GetResult();
    }

    // The text commands (not packets) sent since the contact, in order.
    std::vector<std::string> Commands() const {
        std::vector<std::string> out;
        for (const test::Sent& s : rig.scriptedPort->sent) {
            if (s.text.size() != kMcuPacketSize) {
                out.push_back(s.text);
            }
        }
        return out;
    }
    std::vector<test::Sent> Sent(const std::string& text) const {
        std::vector<test::Sent> out;
        for (const test::Sent& s : rig.scriptedPort->sent) {
            if (s.text == text) {
                out.push_back(s);
            }
        }
        return out;
    }
    std::vector<test::Sent> Packets(std::uint32_t address) const {
        std::vector<test::Sent> out;
        for (const test::Sent& s : rig.scriptedPort->sent) {
            if (s.text.size() == kMcuPacketSize && PacketAddress(s.text) == address) {
                out.push_back(s);
            }
        }
        return out;
    }

    test::CTempFolder dir;
    std::filesystem::path file;
    std::vector<std::uint8_t> image;
    CLoaderRig rig;
    std::unique_ptr<CLoaderJob> job;
};

TEST_F(McuLoaderScriptTest, GoodLoadSendsEveryBlockAndBlock0x800Twice) {
    CScriptedRadio radio;
    ASSERT_EQ(Load(radio), kOk);

    const std::vector<std::string> commands = Commands();
    EXPECT_THAT(commands, ElementsAre(";", "I;", "OM;", "LDM;", "D", ";", "I;", "TT0;", "RVM;", "OM;", "ER83FA0281;",
                                      "RVD;", "TQ;"));
    // "D" goes out after the loader's 2000 ms, at the loader's speed.
    EXPECT_EQ(Sent("D")[0].tick - Sent("LDM;")[0].tick, 2000u);
    EXPECT_EQ(Sent("D")[0].speed, 38400u);

    const std::vector<std::uint8_t> reconciled = test::Reconciled(image);
    ASSERT_EQ(radio.pieces.size(), 1004u);
    for (std::size_t i = 0; i < radio.pieces.size(); ++i) {
        const std::string& packet = radio.pieces[i];
        ASSERT_EQ(Sum(packet), 0) << "packet " << i;
        const bool last = i == 1003;
        const std::uint32_t block = last ? kMcuLowAddress : kMcuLowAddress + 128 * static_cast<std::uint32_t>(i);
        ASSERT_EQ(PacketAddress(packet), last ? 0x20800u : block) << "packet " << i;
        const std::string expected(reinterpret_cast<const char*>(reconciled.data()) + (block - kMcuLowAddress), 128);
        if (i == 0) {
            EXPECT_EQ(packet.substr(0, 2), "\xDE\xAD");
            EXPECT_EQ(packet.substr(2, 126), expected.substr(2));
        } else {
            ASSERT_EQ(packet.substr(0, 128), expected) << "packet " << i;
        }
    }
    // The contact comes back 8000 ms after the last acknowledgement.
    const auto& sent = rig.scriptedPort->sent;
    std::size_t last = 0;
    for (std::size_t i = 0; i < sent.size(); ++i) {
        if (sent[i].text.size() == kMcuPacketSize) {
            last = i;
        }
    }
    ASSERT_LT(last + 1, sent.size());
    EXPECT_EQ(sent[last + 1].tick - sent[last].tick, 8000u);

    EXPECT_EQ(rig.view.progress.range, 0x1F580u / 32);
    EXPECT_EQ(rig.view.progress.position, rig.view.progress.range);
    EXPECT_EQ(rig.model->firmwareStatus.Get(), kFirmwareRunning);
    EXPECT_THAT(rig.log, Contains("Sending MCU firmware file " + file.string()));
    EXPECT_THAT(rig.log, Contains("Waiting 8 seconds for reset"));
    // The reconciliation values are a developer's business: not in a radio owner's log.
    EXPECT_THAT(rig.log, Not(Contains(HasSubstr("reconciliation value is 0x"))));
    EXPECT_THAT(rig.log, Contains("MCU firmware version verified"));
    ASSERT_FALSE(rig.view.outcomes.empty());
    EXPECT_EQ(rig.view.Last().what, "MCU 02.88 loaded");
}

TEST_F(McuLoaderScriptTest, ReconciliationValuesAreLoggedUnderVerboseLoggingOrTrace) {
    for (const bool trace : {false, true}) {
        SCOPED_TRACE(trace ? "trace" : "verbose logging");
        CScriptedRadio radio;
        rig.model->verboseLogging.Set(trace ? 0 : 1);
        rig.model->trace.Set(trace ? 1 : 0);
        rig.log.clear();
        ASSERT_EQ(Load(radio), kOk);
        EXPECT_THAT(rig.log,
                    Contains(HasSubstr("MCU firmware file " + file.string() + " checksum reconciliation value is 0x")));
        EXPECT_THAT(rig.log, Contains(HasSubstr("MCU computed checksum reconciliation value is 0x")));
    }
}

TEST_F(McuLoaderScriptTest, WhereTheRadioStandsDecidesTheWayIntoItsLoader) {
    struct Case {
        bool bootLoader;
        unsigned long fixedSpeed;
        std::vector<std::string> commands;  // up to "D"
        std::uint32_t downloadSpeed;
    };
    const Case cases[] = {
        // Waiting in its boot loader: no "OM;", no "LDM;", and "D" at the speed found.
        {true, 19200, {";", "I;", "D"}, 19200},
        {false, 19200, {";", "I;", "OM;", "LDM;", "D"}, 38400},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bootLoader);
        CLoaderRig local;
        CScriptedRadio radio;
        radio.bootLoader = c.bootLoader;
        radio.Attach(*local.scriptedPort);
        local.model->fixedSerialSpeed.Set(c.fixedSpeed);
        ASSERT_EQ(local.Contact(), kOk);
        local.scriptedPort->sent.clear();
        CLoaderJob mcu(*local.session, local.view, LoaderPart::Mcu, file);
        ASSERT_TRUE(local.Run(mcu));
        EXPECT_EQ(mcu.GetResult(), kOk);
        std::vector<std::string> commands;
        for (const test::Sent& s : local.scriptedPort->sent) {
            commands.push_back(s.text);
            if (s.text == "D") {
                EXPECT_EQ(s.speed, c.downloadSpeed);
                break;
            }
        }
        EXPECT_EQ(commands, c.commands);
    }
}

TEST_F(McuLoaderScriptTest, WhatIdentifyHeardDecidesNotAStaleStatus) {
    CScriptedRadio radio;
    Contact(radio);
    // The model last saw the boot loader; the radio has restarted into its firmware since.
    rig.model->firmwareStatus.Set(kFirmwareBootLoader);
    EXPECT_EQ(RunLoad(), kOk);
    EXPECT_THAT(Commands(), Contains("LDM;"));
}

// The rejections, time-outs and resynchronisations of both loaders are one table in
// loader_job_test.cpp.

TEST_F(McuLoaderScriptTest, CKeepsThePacketTimeOutRunning) {
    CScriptedRadio radio;
    radio.pieceAnswers = {"C"};
    ASSERT_EQ(Load(radio), kOk);
    // The first fill byte follows the packet after its full 2000 ms, not never.
    const std::uint32_t packet = Packets(kMcuLowAddress)[0].tick;
    const auto polls = Sent(";");
    const auto firstFill =
        std::find_if(polls.begin(), polls.end(), [&](const test::Sent& s) { return s.tick >= packet; });
    ASSERT_NE(firstFill, polls.end());
    EXPECT_EQ(firstFill->tick - packet, 2000u);
}

TEST_F(McuLoaderScriptTest, LastPacketIsAcknowledgedWithB) {
    CScriptedRadio radio;
    radio.pieceAnswers.assign(1003, "A");
    // An 'A' is not the last packet's acknowledgement: the wait runs out and it goes again.
    radio.pieceAnswers.push_back("A");
    radio.pieceAnswers.push_back("N");
    ASSERT_EQ(Load(radio), kOk);
    EXPECT_EQ(Packets(0x20800).size(), 3u);
    EXPECT_THAT(rig.log, Contains("Retry 2 succeeded at address x1FD80"));
    EXPECT_THAT(rig.log, Contains("Total number of retries was 2"));
    EXPECT_THAT(rig.log, Contains("Highest number of retries for any block was 2"));
}

TEST_F(McuLoaderScriptTest, NoEchoOfDEndsTheRunAndForgetsTheRadio) {
    CScriptedRadio radio;
    radio.echoD = false;
    EXPECT_EQ(Load(radio), kErrNoEchoD);
    // "D" was the load's last command; what follows is the contact that looks for the radio.
    const std::vector<std::string> commands = Commands();
    const auto d = std::find(commands.begin(), commands.end(), "D");
    ASSERT_NE(d, commands.end());
    EXPECT_EQ(std::find(commands.begin(), d, "LDM;") + 1, d);
    EXPECT_TRUE(radio.pieces.empty());
    EXPECT_THAT(rig.log, Contains("RM7 Bootstrap Loader did not echo \"D\"\r\nRemove power and retry firmware load"));
    EXPECT_EQ(rig.model->serialNumber.Get(), 0xFFFFu);
    // The contact after the failure finds the boot loader waiting; said once, by the outcome, with
    // the way out.
    EXPECT_EQ(rig.model->firmwareStatus.Get(), kFirmwareBootLoader);
    ASSERT_FALSE(rig.view.outcomes.empty());
    EXPECT_EQ(rig.view.Last().code, kErrNoEchoD);
    EXPECT_EQ(rig.view.Last().radio, RadioState::kBootLoader);
    EXPECT_FALSE(rig.view.Last().next.empty());
}

TEST_F(McuLoaderScriptTest, SilentRadioFailsTheSpeedSearch) {
    CScriptedRadio radio;
    radio.Attach(*rig.scriptedPort);
    ASSERT_EQ(rig.Contact(), kOk);
    radio.silent = true;
    job = std::make_unique<CLoaderJob>(*rig.session, rig.view, LoaderPart::Mcu, file);
    ASSERT_TRUE(rig.Run(*job));
    EXPECT_EQ(job->GetResult(), kErrNoResponseAfterReset);
}

TEST_F(McuLoaderScriptTest, AFailedWriteEndsTheRunWithThePortsError) {
    CScriptedRadio radio;
    radio.failWritesAfterPieces = 3;
    EXPECT_EQ(Load(radio), kErrorAccessDenied);
    EXPECT_EQ(radio.pieces.size(), 3u);
    EXPECT_THAT(rig.log, ::testing::Not(Contains(HasSubstr("firmware failed at load address"))));
}

TEST_F(McuLoaderScriptTest, StartWhileBusyLeavesTheRunningLoadAlone) {
    CScriptedRadio radio;
    radio.Attach(*rig.scriptedPort);
    ASSERT_EQ(rig.Contact(), kOk);
    CMcuLoaderStateMachine machine(*rig.session, file);
    rig.session->SetActiveMachine(&machine);
    ASSERT_TRUE(machine.Start(nullptr, nullptr));
    rig.pump.AdvanceBy(100);
    const char* state = machine.CurrentState().Name();
    EXPECT_FALSE(machine.Start(nullptr, nullptr));
    EXPECT_EQ(GetLastError(), kErrBusyStateMachine);
    EXPECT_EQ(machine.GetResult(), kOk);
    EXPECT_STREQ(machine.CurrentState().Name(), state);
    rig.window.completions.clear();
    rig.pump.AdvanceUntil([&] { return !rig.window.completions.empty(); }, 600000);
    EXPECT_THAT(rig.window.completions, ElementsAre(kOk));
}

// The same loader against the simulated radio, in virtual time.
class McuLoaderRadioTest : public ::testing::Test {
  protected:
    Result Load(const rm7sim::Options& options, const std::filesystem::path& hex, CLoaderRig& rig) {
        if (rig.Contact() != kOk) {
            return 0xFFFFFFFF;
        }
        CLoaderJob job(*rig.session, rig.view, LoaderPart::Mcu, hex);
        // Never waits for ever: a day of virtual time is far more than any lossy load needs.
        EXPECT_TRUE(rig.Run(job, 24 * 3600 * 1000)) << "seed " << options.faults.seed;
        return job.GetResult();
    }
    test::CTempFolder dir;
};

TEST_F(McuLoaderRadioTest, LoadsTheExactImageAndTheRadioReportsItsVersion) {
    const std::vector<std::uint8_t> image = test::McuImageBytes(11, "0288");
    test::WriteHexFile(dir / "fmcu0288.hex", image, kMcuLowAddress);
    rm7sim::Options options;
    options.mcuVersion = 254;
    CLoaderRig rig(options);
    EXPECT_EQ(Load(options, dir / "fmcu0288.hex", rig), kOk);
    EXPECT_EQ(rig.radio->McuFlash(), test::Reconciled(image));
    EXPECT_EQ(rig.radio->Packets(), 1004u);
    EXPECT_EQ(rig.model->firmwareVersions.Get(0), 288u);
    EXPECT_EQ(rig.model->firmwareStatus.Get(), kFirmwareRunning);
}

// A load cut short in the middle of a packet: the contact and then the loader's own search
// bring the boot loader to a packet boundary, and the new load goes on without "D".
TEST_F(McuLoaderRadioTest, LoaderLeftInTheMiddleOfAPacketTakesANewLoad) {
    const std::vector<std::uint8_t> image = test::McuImageBytes(17, "0288");
    test::WriteHexFile(dir / "fmcu0288.hex", image, kMcuLowAddress);
    rm7sim::Options options;
    options.midPacket = 77;
    CLoaderRig rig(options);
    ASSERT_EQ(rig.Contact(), kOk);
    EXPECT_EQ(rig.model->firmwareStatus.Get(), kFirmwareBootLoader);
    CLoaderJob job(*rig.session, rig.view, LoaderPart::Mcu, dir / "fmcu0288.hex");
    ASSERT_TRUE(rig.Run(job));
    EXPECT_EQ(job.GetResult(), kOk);
    EXPECT_EQ(rig.radio->McuFlash(), test::Reconciled(image));
    EXPECT_EQ(rig.model->firmwareVersions.Get(0), 288u);
    EXPECT_EQ(rig.model->firmwareStatus.Get(), kFirmwareRunning);
    EXPECT_THAT(rig.radio->ReceivedCommands(), ::testing::Not(Contains("D")));
    EXPECT_THAT(rig.log, Contains("RM7 Bootstrap Loader answered at a packet boundary"));
    EXPECT_THAT(rig.log, Contains("Sending MCU firmware file " + (dir / "fmcu0288.hex").string()));
}

// Fixed seeds on a virtual clock: each load's outcome is fixed, so each is pinned, the exact
// image or the exact code. A load that fails is one whose fill bytes for one block, added up over
// its resynchronisations, reached 132 (an 'N' lost or damaged once too often on this link).
TEST_F(McuLoaderRadioTest, LossyLinkEndsWithTheExactImageOrItsOwnFailureCode) {
    const std::vector<std::uint8_t> image = test::McuImageBytes(13, "0288");
    test::WriteHexFile(dir / "fmcu0288.hex", image, kMcuLowAddress);
    const std::vector<std::uint8_t> expected = test::Reconciled(image);
    const struct {
        std::uint64_t seed;
        Result result;
    } cases[] = {
        {1, kErrNoResponseSync},
        {2, kOk},
        {3, kErrNoResponseSync},
        {4, kOk},
        {5, kOk},
        {6, kErrNoResponseSync},
        {7, kErrNoResponseSync},
        {8, kOk},
        {9, kOk},
        {10, kOk},
        {11, kOk},
        {12, kErrNoResponseSync},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.seed);
        rm7sim::Options options;
        std::string error;
        ASSERT_TRUE(rm7sim::ParseFaults("drop=0.01,nak=0.02,garble=0.005,lose=0.0002", options.faults, error));
        options.faults.seed = c.seed;
        CLoaderRig rig(options);
        const Result r = Load(options, dir / "fmcu0288.hex", rig);
        EXPECT_EQ(r, c.result) << std::hex << r;
        if (c.result == kOk) {
            EXPECT_EQ(rig.radio->McuFlash(), expected);
            EXPECT_THAT(rig.log, Contains(::testing::StartsWith("Total number of retries was ")));
        }
    }
}

}  // namespace
}  // namespace rm7
