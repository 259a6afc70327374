#include "platform/port_doctor.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>

#include "tests/support/temp_folder.h"

namespace rm7 {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

void Write(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file) << text;
}

// A fake /sys, /dev and /proc: a USB adapter ttyUSB0 with its by-id link and latency timer.
class PortDoctorTest : public ::testing::Test {
  protected:
    void SetUp() override {
        system.sysRoot = folder / "sys";
        system.devRoot = folder / "dev";
        system.procRoot = folder / "proc";
        device = (folder / "dev" / "ttyUSB0").string();
        Write(device, "");
        fs::create_directories(system.devRoot / "serial" / "by-id");
        fs::create_symlink("../../ttyUSB0", system.devRoot / "serial" / "by-id" / "usb-FTDI_FT232R-if00-port0");
        const fs::path usb = system.sysRoot / "devices" / "usb1" / "1-1";
        Write(usb / "idVendor", "0403\n");
        Write(usb / "idProduct", "6001\n");
        Write(usb / "manufacturer", "FTDI\n");
        Write(usb / "product", "FT232R USB UART\n");
        Write(usb / "1-1:1.0" / "latency_timer", "16\n");
        fs::create_directories(system.sysRoot / "class" / "tty" / "ttyUSB0");
        fs::create_symlink("../../../devices/usb1/1-1/1-1:1.0",
                           system.sysRoot / "class" / "tty" / "ttyUSB0" / "device");
        Write(system.procRoot / "1" / "comm", "systemd\n");
        system.holder = [this](const std::string&, std::string& name) {
            name = holderName;
            return holderPid;
        };
        system.mayOpen = [this](const std::string&) { return mayOpen; };
        system.inGroup = [this](gid_t) { return member; };
        system.groupName = [](gid_t) { return std::string("dialout"); };
        system.uid = 1000;
    }

    const DoctorFinding& Find(const std::vector<DoctorFinding>& findings, const std::string& check) {
        for (const auto& f : findings) {
            if (f.check == check) {
                return f;
            }
        }
        ADD_FAILURE() << "no finding " << check;
        static DoctorFinding none;
        return none;
    }

    test::CTempFolder folder;
    DoctorSystem system;
    std::string device;
    int holderPid = 0;
    std::string holderName;
    bool mayOpen = true;
    bool member = true;
};

TEST_F(PortDoctorTest, AllClearNamesTheAdapter) {
    const auto findings = DiagnoseDevice(device, system);
    ASSERT_EQ(findings.size(), 4u);
    for (const auto& f : findings) {
        EXPECT_TRUE(f.ok) << f.check << ": " << f.text;
        EXPECT_TRUE(f.advice.empty());
    }
    EXPECT_THAT(findings[0].text, HasSubstr("usb-FTDI_FT232R-if00-port0"));
    EXPECT_THAT(findings[0].text, HasSubstr("USB 0403:6001 FTDI FT232R USB UART"));
    EXPECT_THAT(Find(findings, "access").text, HasSubstr("group \"dialout\", you are in it"));
}

TEST_F(PortDoctorTest, WhatStandsInTheWay) {
    holderPid = 4242;
    holderName = "minicom";
    Write(system.procRoot / "77" / "comm", "ModemManager\n");
    Write(system.procRoot / "78" / "comm", "brltty\n");
    Write(system.procRoot / "self" / "comm", "brltty\n");  // not a pid
    const auto findings = DiagnoseDevice(device, system);
    const auto& holder = Find(findings, "holder");
    EXPECT_FALSE(holder.ok);
    EXPECT_EQ(holder.text, "It is in use by minicom (pid 4242).");
    std::vector<std::string> services;
    for (const auto& f : findings) {
        if (f.check == "services") {
            EXPECT_FALSE(f.ok);
            EXPECT_FALSE(f.advice.empty());
            services.push_back(f.text);
        }
    }
    EXPECT_EQ(services.size(), 2u);
}

TEST_F(PortDoctorTest, MissingDeviceEndsTheChecks) {
    const auto findings = DiagnoseDevice((folder / "dev" / "ttyUSB9").string(), system);
    ASSERT_EQ(findings.size(), 1u);
    EXPECT_FALSE(findings[0].ok);
    EXPECT_THAT(findings[0].text, HasSubstr("does not exist"));
}

TEST_F(PortDoctorTest, NotInTheOwningGroup) {
    mayOpen = false;
    member = false;
    // Joining the group helps only where the group may use the device and is not root's.
    const struct {
        const char* group;
        fs::perms mode;
        const char* text;
        const char* advice;
    } cases[] = {
        {"dialout", fs::perms(0660), "\"dialout\", and you are not in it", "sudo usermod -aG dialout $USER"},
        {"uucp", fs::perms(0660), "\"uucp\", and you are not in it", "sudo usermod -aG uucp $USER"},
        {"root", fs::perms(0660), "not meant for users (group \"root\", mode 660)", "KERNEL==\"ttyUSB0\""},
        {"dialout", fs::perms(0600), "not meant for users (group \"dialout\", mode 600)", "/etc/udev/rules.d/"},
        {"dialout", fs::perms(0640), "not meant for users (group \"dialout\", mode 640)", "MODE=\"0660\""},
    };
    for (const auto& c : cases) {
        system.groupName = [&c](gid_t) { return std::string(c.group); };
        fs::permissions(device, c.mode);
        const auto findings = DiagnoseDevice(device, system);
        const auto& access = Find(findings, "access");
        EXPECT_FALSE(access.ok);
        EXPECT_THAT(access.text, HasSubstr(c.text)) << c.group;
        EXPECT_THAT(access.advice, HasSubstr(c.advice)) << c.group;
        EXPECT_THAT(access.advice, ::testing::Not(HasSubstr("-aG root")));
    }
}

TEST_F(PortDoctorTest, LatencyTimer) {
    const struct {
        const char* value;
        bool ok;
    } cases[] = {{"16\n", false}, {"1\n", true}};
    for (const auto& c : cases) {
        Write(system.sysRoot / "devices" / "usb1" / "1-1" / "1-1:1.0" / "latency_timer", c.value);
        const DoctorFinding f = LatencyFinding(device, system);
        EXPECT_EQ(f.ok, c.ok) << f.text;
        EXPECT_EQ(f.advice.empty(), c.ok);
    }
    const DoctorFinding pty = LatencyFinding((folder / "dev" / "pts7").string(), system);
    EXPECT_TRUE(pty.ok);
    EXPECT_THAT(pty.text, HasSubstr("No latency timer"));
}

}  // namespace
}  // namespace rm7
