#include "platform/child_process.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "platform/result_codes.h"

namespace rm7 {
namespace {

namespace fs = std::filesystem;

// Stand-ins for the simulated radio: shell scripts that print (or fail to print) a first line.
class StartSimulatedRadioTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::path(::testing::TempDir()) / "child_XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        m_dir = pattern;
    }
    void TearDown() override { fs::remove_all(m_dir); }

    fs::path Script(const char* name, const std::string& body) {
        const fs::path path = m_dir / name;
        std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
        ::chmod(path.c_str(), 0755);
        return path;
    }

    fs::path m_dir;
};

TEST_F(StartSimulatedRadioTest, PassesTheBlankSeparatedArgumentsAndReadsTheDeviceLine) {
    // The line names the argument count, so a run of blanks or a tab cannot pass for one argument.
    const fs::path program = Script("sim", "echo \"/dev/pts/$#:$*\"\nexec sleep 30");
    struct Case {
        std::string extraArgs;
        std::string device;
    } cases[] = {
        {"", "/dev/pts/0:"},
        {"--speed 9600", "/dev/pts/2:--speed 9600"},
        {"  --speed\t9600   --mcu 02.88 ", "/dev/pts/4:--speed 9600 --mcu 02.88"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.extraArgs);
        CChildProcess child;
        std::string device = "stale";
        ASSERT_EQ(StartSimulatedRadio(child, program, c.extraArgs, device), kOk);
        EXPECT_EQ(device, c.device);
        EXPECT_TRUE(child.Running());
        child.Stop();  // the sleeping script ends on SIGTERM, or this test hangs
        EXPECT_FALSE(child.Running());
    }
}

TEST_F(StartSimulatedRadioTest, AProgramThatGivesNoDeviceIsStoppedAndNotFound) {
    const fs::path cases[] = {
        Script("silent", "exit 0"),
        Script("blank", "echo\nexec sleep 30"),
        m_dir / "missing",
    };
    for (const fs::path& program : cases) {
        SCOPED_TRACE(program.filename().string());
        CChildProcess child;
        std::string device = "stale";
        EXPECT_EQ(StartSimulatedRadio(child, program, "--speed 9600", device), kErrorFileNotFound);
        EXPECT_EQ(device, "");
        EXPECT_FALSE(child.Running());
    }
}

}  // namespace
}  // namespace rm7
