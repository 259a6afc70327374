#pragma once
// What stands between the user and a serial device: each finding says what was seen and what to
// do. The system is read through roots and functions that tests replace with fixtures.
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace rm7 {

struct DoctorFinding {
    std::string check;   // "device", "access", "holder", "services", "latency", "radio"
    bool ok = true;      // false: this stands in the way
    std::string text;    // what was found
    std::string advice;  // what to do; empty when nothing
};

struct DoctorSystem {
    std::filesystem::path sysRoot = "/sys";
    std::filesystem::path devRoot = "/dev";
    std::filesystem::path procRoot = "/proc";
    // pid and name of the process holding the device open, 0 when none.
    std::function<int(const std::string& device, std::string& name)> holder;
    std::function<bool(const std::string& device)> mayOpen;  // read and write
    std::function<bool(unsigned group)> inGroup;             // group ids as the system numbers them
    std::function<std::string(unsigned group)> groupName;
    unsigned uid = 0;
};

// "ok   access   ..." / "FAIL holder   ...": a finding as one line, with what to do after it.
std::string DoctorFindingLine(const DoctorFinding& finding);

// The real system.
DoctorSystem LocalDoctorSystem();

// Whether the device exists (with its by-id name and USB identity), may be opened, is held by
// another program, and whether a modem or braille service is running. Stops after the device
// finding when there is no device.
std::vector<DoctorFinding> DiagnoseDevice(const std::string& device, const DoctorSystem& system);
// The USB adapter's latency timer; meaningful while the port is open with low latency asked.
DoctorFinding LatencyFinding(const std::string& device, const DoctorSystem& system);

}  // namespace rm7
