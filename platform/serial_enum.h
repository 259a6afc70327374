#pragma once
// The serial devices of the machine, for the port list: USB adapters (ttyUSB*, ttyACM*) and real
// UARTs (ttyS* with a driver and a known port type; the kernel's placeholder 8250 ports are left
// out). The user may still type any other device path, such as a pty.
#include <filesystem>
#include <string>
#include <vector>

namespace rm7 {

struct SerialDeviceInfo {
    std::string path;         // the device to open, e.g. /dev/ttyUSB0
    std::string displayName;  // its /dev/serial/by-id name when it has one, else path
    bool operator==(const SerialDeviceInfo&) const = default;
};

// Sorted by path, numbers in names by value (ttyS2 before ttyS10).
std::vector<SerialDeviceInfo> EnumerateSerialDevices();
// The same from another sysfs and /dev root, for tests.
std::vector<SerialDeviceInfo> EnumerateSerialDevices(const std::filesystem::path& sysRoot,
                                                     const std::filesystem::path& devRoot);

}  // namespace rm7
