// rm7util against rm7-sim over a real pty when the port goes away under a job or is already
// held by another rm7util.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/pty/pty_support.h"
#include "tests/support/firmware_files.h"

namespace rm7::test {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

// The simulated radio vanishes as it takes the reset that ends a DSP load; the utility must say
// so as soon as its listener sees the device go, not when the 8 s wait is over, and not as a
// matter of access rights. The wait's end is the later event: the reset is the load's last
// state, so a notice that came only after it would find the load over and the job ended on
// what the load found, not on the unplug. The order is told by what the job ends with, not
// by a clock.
TEST(PortFaults, UnplugDuringTheResetWaitIsReportedAtOnceAndPlainly) {
    CScratch scratch;
    const std::filesystem::path file = scratch.Dir() / "fdsp0291.hex";
    WriteHexFile(file, DspImageBytes(640, 3, "0291"), 0);
    CSimulator sim({"--faults", "unplug=reset"});
    ASSERT_FALSE(sim.Device().empty());
    CRunningUtil util(scratch, {"--port", sim.Device(), "firmware", "send", "--dsp", file.string()});
    ASSERT_TRUE(util.WaitFor("Waiting 8 seconds for reset", 120000)) << util.Err();
    const int status = util.Wait(30000);
    ASSERT_TRUE(WIFEXITED(status)) << util.Err();
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_THAT(util.Err(), HasSubstr("rm7util: firmware send: The radio's serial port went away (cable or adapter "
                                      "unplugged)\nhint: The radio does not answer. "));
    EXPECT_THAT(util.Err(), Not(HasSubstr("Access is denied")));
    EXPECT_THAT(util.Err(), Not(HasSubstr("COM Port Error")));
    EXPECT_THAT(util.Out(), Not(HasSubstr("loaded and verified")));
}

// The cable pulled while the most is at stake, over a real pty: MCU packets, DSP chunks and the
// blocks a restore writes (after the backup's reads); a save cut off is a row of the case table.
// The device going away is said once with its code, with what to do for a load.
TEST(PortFaults, UnplugWhilePacketsOrBlocksFlowIsSaidOnceWithWhatToDo) {
    CScratch scratch;
    const std::filesystem::path mcu = scratch.Dir() / "fmcu0288.hex";
    WriteHexFile(mcu, McuImageBytes(41, "0288"), 0x800);
    const std::filesystem::path dsp = scratch.Dir() / "fdsp0291.hex";
    WriteHexFile(dsp, DspImageBytes(4000, 42, "0291"), 0);
    const std::filesystem::path saved = scratch.Dir() / "saved.RM7Config";
    {
        CSimulator sim({});
        ASSERT_FALSE(sim.Device().empty());
        const RunResult r = RunUtil(scratch, {"-q", "--port", sim.Device(), "config", "save", saved.string()});
        ASSERT_EQ(r.status, 0) << r.err;
    }
    const struct {
        const char* name;
        const char* fault;
        std::vector<std::string> command;
        std::string told;  // "" when nothing but the code
    } cases[] = {
        {"MCU packets",
         "unplug=300",
         {"firmware", "send", "--mcu", mcu.string()},
         "Plug the cable back in and run `rm7util firmware send --mcu " + mcu.string() +
             "` again: the radio's boot loader is found again.\n"},
        {"DSP chunks",
         "unplug=20",
         {"firmware", "send", "--dsp", dsp.string()},
         "Plug the cable back in, turn the radio off and on, and run `rm7util firmware send --dsp " + dsp.string() +
             "` again: the DSP load starts over.\n"},
        // The contacts and the backup read some 27 blocks: a write of the restore goes nowhere.
        {"restore blocks", "unplug=blocks:40", {"--yes", "config", "restore", saved.string()}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CSimulator sim({"--faults", c.fault});
        ASSERT_FALSE(sim.Device().empty());
        std::vector<std::string> args = {"--port", sim.Device()};
        args.insert(args.end(), c.command.begin(), c.command.end());
        const RunResult r = RunUtil(scratch, args, 120);
        EXPECT_EQ(r.status, 1) << r.err;
        // The loaders give the code, the jobs on the shell say "rm7util: JOB: why": either way once.
        const std::string code = "The radio's serial port went away (cable or adapter unplugged)";
        const std::size_t at = r.err.find(code);
        ASSERT_NE(at, std::string::npos) << r.err;
        EXPECT_EQ(r.err.find(code, at + 1), std::string::npos) << "said more than once:\n" << r.err;
        EXPECT_THAT(r.err, HasSubstr(c.told));
        EXPECT_THAT(r.err, Not(HasSubstr("COM Port Error"))) << "the job says it, no port box";
        EXPECT_THAT(r.err, Not(HasSubstr("backup failed"))) << "the cable went before the job began";
        EXPECT_THAT(r.err, Not(HasSubstr("Configuration was restored")));
        EXPECT_THAT(r.out, Not(HasSubstr("loaded and verified")));
    }
}

// The simulator holds the other end of the pty (and the slave too); the hint must name the
// rm7util that holds the port, not the simulator.
TEST(PortFaults, SecondProgramOnOnePortNamesTheOneHoldingIt) {
    CScratch first;
    CSimulator sim({"--speed", "38400"});
    ASSERT_FALSE(sim.Device().empty());
    // Looking for the radio at a speed it does not use keeps the port held for the whole time-out.
    CRunningUtil holder(first, {"--port", sim.Device(), "--speed", "9600", "--timeout", "120", "info"});
    ASSERT_TRUE(holder.WaitFor("Attempting to contact", 30000)) << holder.Err();

    CScratch second;
    const RunResult r = RunUtil(second, {"--port", sim.Device(), "info"});
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.err, HasSubstr("rm7util: " + sim.Device() + ": Device or resource busy: in use by rm7util (pid " +
                                 std::to_string(holder.Pid()) + ")\nhint: Close that program and try again"));
    EXPECT_THAT(r.err, Not(HasSubstr("rm7-sim")));
}

}  // namespace
}  // namespace rm7::test
