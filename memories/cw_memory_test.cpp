// The CW memory machine against the in-process simulated radio in virtual time.
#include "memories/cw_memory_machine.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/format.h"
#include "tests/support/radio_bench.h"

namespace rm7 {
namespace {

using test::BenchStart;
using test::CRadioBench;
using test::CRecordingWindow;
using ::testing::ElementsAre;

// An area image as the radio stores a text.
std::string AreaOf(const std::string& text) {
    CwArea area;
    area.fill(kCwErased);
    EncodeCwArea(text, area);
    return std::string(area.begin(), area.end());
}

class CwMemoryMachine : public ::testing::Test {
  protected:
    CwMemoryMachine() { bench.session->SetActiveMachine(&machine); }
    template <typename Start>
    Result Run(Start start) {
        CRecordingWindow done;
        CObservation observation(bench.model->portEvent, &done);
        EXPECT_TRUE(start());
        EXPECT_TRUE(bench.pump.AdvanceUntil([&] { return !done.completions.empty(); }, 200000));
        return done.completions.empty() ? kErrorTimeout : done.completions.back();
    }
    std::vector<std::string> Commands(std::size_t from) {
        const auto all = bench.JobCommands();
        return {all.begin() + static_cast<std::ptrdiff_t>(from), all.end()};
    }

    CRadioBench bench{BenchStart::Contacted};
    CCWMemoryStateMachine machine{*bench.session};
};

TEST_F(CwMemoryMachine, ReadsEachMemoryOnlyAsFarAsItsText) {
    for (std::size_t i = 0; i < kCwMemoryCount; ++i) {
        bench.SetEeprom(CwAreaAddress(i), std::string(kCwAreaSize, '\xFF'));
    }
    bench.SetEeprom(CwAreaAddress(1), AreaOf("CQ CQ DE"));              // 8: one chunk
    bench.SetEeprom(CwAreaAddress(2), AreaOf("ABCDEFGHIJKLMNOPQRST"));  // 20: two
    bench.SetEeprom(CwAreaAddress(3), AreaOf(std::string(251, 'E')));   // full: all sixteen
    ASSERT_EQ(Run([&] { return machine.StartRead(); }), kOk);

    EXPECT_EQ(machine.texts.Get(0), "");
    EXPECT_EQ(machine.texts.Get(1), "CQ CQ DE");
    EXPECT_EQ(machine.texts.Get(2), "ABCDEFGHIJKLMNOPQRST");
    EXPECT_EQ(machine.texts.Get(3), std::string(251, 'E'));
    const auto commands = bench.JobCommands();
    ASSERT_FALSE(commands.empty());
    EXPECT_EQ(commands[0], "TT0");
    std::vector<std::string> reads(commands.begin() + 1, commands.end());
    for (auto& r : reads) {
        r = r.substr(0, 8);  // address and length, without the checksum
    }
    std::vector<std::string> expected = {"ER04EB10", "ER05EB10", "ER06EB10", "ER06DB10"};
    for (std::uint32_t offset = 235;; offset -= 16) {
        expected.push_back(StrFormat("ER07%02X10", offset));
        if (offset < 16) {
            break;
        }
    }
    expected.push_back("ER07000B");  // the last chunk: offsets 0 to 10
    expected.push_back("ER08EB10");
    expected.push_back("ER09EB10");
    EXPECT_EQ(reads, expected);
}

TEST_F(CwMemoryMachine, WritesOnlyChangedMemoriesBackwardsFromTheTop) {
    ASSERT_EQ(Run([&] { return machine.StartRead(); }), kOk);
    const std::size_t afterRead = bench.JobCommands().size();
    const std::string m3Before = bench.EepromText(CwAreaAddress(2), kCwAreaSize);

    machine.texts.SetPending(0, "cq");
    machine.texts.SetPending(4, std::string(250, 'T'));
    ASSERT_EQ(Run([&] { return machine.StartWrite(); }), kOk);

    const auto writes = Commands(afterRead);
    ASSERT_EQ(writes.size(), 1u + 4u);  // M1 in one block, M5's 251 bytes in four
    EXPECT_EQ(writes[0].substr(0, 14),
              "EW04F803"
              "CC1B15");
    EXPECT_EQ(writes[1].substr(0, 8), "EW080040");  // from offset 0x00: the end mark first
    EXPECT_EQ(bench.EepromText(CwAreaAddress(0) + 0xF8, 3), "\xCC\x1B\x15");
    EXPECT_EQ(bench.EepromText(CwAreaAddress(4), 1), "\xCC");
    EXPECT_EQ(bench.EepromText(CwAreaAddress(4) + 1, 250), std::string(250, '\x03'));
    EXPECT_EQ(bench.EepromText(CwAreaAddress(2), kCwAreaSize), m3Before);
    EXPECT_EQ(machine.texts.Get(0), "cq");

    // Read back by a fresh machine, the radio holds what was written.
    CCWMemoryStateMachine again(*bench.session);
    bench.session->SetActiveMachine(&again);
    ASSERT_EQ(Run([&] { return again.StartRead(); }), kOk);
    EXPECT_EQ(again.texts.Get(0), "CQ");
    EXPECT_EQ(again.texts.Get(4), std::string(250, 'T'));
}

TEST_F(CwMemoryMachine, NothingChangedWritesNothing) {
    ASSERT_EQ(Run([&] { return machine.StartRead(); }), kOk);
    const std::size_t afterRead = bench.JobCommands().size();
    ASSERT_EQ(Run([&] { return machine.StartWrite(); }), kOk);
    EXPECT_EQ(bench.JobCommands().size(), afterRead);
}

TEST_F(CwMemoryMachine, FailuresEndTheMachineWithTheirCodes) {
    ASSERT_EQ(Run([&] { return machine.StartRead(); }), kOk);
    // More than an area holds is refused, not cut short, and nothing is written.
    const std::size_t afterRead = bench.JobCommands().size();
    machine.texts.SetPending(1, std::string(252, 'E'));
    EXPECT_EQ(Run([&] { return machine.StartWrite(); }), kErrCwMemoryTooLong);
    EXPECT_EQ(bench.JobCommands().size(), afterRead);

    machine.texts.SetPending(1, "E");
    bench.radio->SetSilent(true);
    const std::uint32_t start = bench.pump.TickCount();
    EXPECT_EQ(Run([&] { return machine.StartWrite(); }), kErrNoResponseWriteEeprom);
    EXPECT_EQ(bench.pump.TickCount() - start, 8u * 2000u);
    EXPECT_EQ(Run([&] { return machine.StartRead(); }), kErrNoResponseReadEeprom);
}

}  // namespace
}  // namespace rm7
