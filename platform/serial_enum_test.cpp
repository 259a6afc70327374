#include "platform/serial_enum.h"
#include "tests/support/temp_folder.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

namespace rm7 {

void PrintTo(const SerialDeviceInfo& d, std::ostream* os) {
    *os << "{" << d.path << ", " << d.displayName << "}";
}

namespace {

namespace fs = std::filesystem;

class SerialEnumTest : public ::testing::Test {
  protected:
    void SetUp() override {
        root = folder.Path();
        sys = root / "sys";
        dev = root / "dev";
        fs::create_directories(sys / "class" / "tty");
        fs::create_directories(dev / "serial" / "by-id");
    }

    // A tty as sysfs shows it; driver and type only where given. The node in /dev unless told not.
    void AddTty(const std::string& name, bool driver = false, const char* type = nullptr, bool node = true) {
        const fs::path entry = sys / "class" / "tty" / name;
        fs::create_directories(entry);
        if (driver) {
            fs::create_directories(entry / "device" / "driver");
        }
        if (type) {
            std::ofstream(entry / "type") << type;
        }
        if (node) {
            std::ofstream(dev / name) << "";
        }
    }
    void AddById(const std::string& link, const std::string& target) {
        fs::create_symlink(target, dev / "serial" / "by-id" / link);
    }

    test::CTempFolder folder;
    fs::path root;
    fs::path sys;
    fs::path dev;
};

TEST_F(SerialEnumTest, ListsAdaptersAndRealUartsWithTheirIdNames) {
    AddTty("ttyUSB1");
    AddTty("ttyUSB0");
    AddTty("ttyACM0");
    AddTty("ttyUSB2", false, nullptr, false);  // no node in /dev
    AddTty("ttyS0", true, "4\n");
    AddTty("ttyS10", true, "4\n");
    AddTty("ttyS2", true, "1");
    AddTty("ttyS1", true, "0\n");  // placeholder 8250 port
    AddTty("ttyS3");               // no device, no driver
    AddTty("ttyS4", true);         // driver but no type file: trusted
    for (const char* other : {"tty", "tty0", "tty12", "console", "ptmx", "ttyprintk"}) {
        AddTty(other);
    }
    AddById("usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0", "../../ttyUSB1");
    AddById("usb-Tarnwell_RM7-if00", "../../ttyACM0");
    AddById("usb-Tarnwell_RM7-if02", "../../ttyACM0");  // the first name in order is shown
    AddById("usb-dangling-if00", "../../ttyUSB9");

    const auto path = [&](const char* name) { return (dev / name).string(); };
    const std::vector<SerialDeviceInfo> expected = {
        {path("ttyACM0"), "usb-Tarnwell_RM7-if00"},
        {path("ttyS0"), path("ttyS0")},
        {path("ttyS2"), path("ttyS2")},
        {path("ttyS4"), path("ttyS4")},
        {path("ttyS10"), path("ttyS10")},
        {path("ttyUSB0"), path("ttyUSB0")},
        {path("ttyUSB1"), "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0"},
    };
    EXPECT_EQ(EnumerateSerialDevices(sys, dev), expected);
}

TEST_F(SerialEnumTest, MissingTreesGiveAnEmptyList) {
    EXPECT_TRUE(EnumerateSerialDevices(root / "nosys", root / "nodev").empty());
    AddTty("ttyUSB0");
    fs::remove_all(dev / "serial");
    ASSERT_EQ(EnumerateSerialDevices(sys, dev).size(), 1u);
    EXPECT_EQ(EnumerateSerialDevices(sys, dev)[0].displayName, (dev / "ttyUSB0").string());
}

TEST(SerialEnum, TheRealMachineListsOnlyDevicesThatExist) {
    for (const SerialDeviceInfo& d : EnumerateSerialDevices()) {
        EXPECT_TRUE(fs::exists(d.path)) << d.path;
        EXPECT_EQ(d.path.rfind("/dev/tty", 0), 0u) << d.path;
    }
}

}  // namespace
}  // namespace rm7
