#include "platform/port_doctor.h"

#include "platform/format.h"
#include "platform/tty.h"
#include "platform/win/wide_text.h"

namespace rm7 {

namespace {

std::wstring DevicePath(const std::string& device) {
    return device.rfind("\\\\", 0) == 0 ? Utf8ToWide(device) : L"\\\\.\\" + Utf8ToWide(device);
}

}  // namespace

// Windows has no device files, groups or modem services to look at: opening the port tells
// whether it exists and whether another program holds it.
DoctorSystem LocalDoctorSystem() {
    DoctorSystem system;
    system.holder = [](const std::string& device, std::string& name) { return FindDeviceHolder(device, name); };
    system.mayOpen = [](const std::string& device) {
        HANDLE h = ::CreateFileW(DevicePath(device).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                                 nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            return false;
        }
        ::CloseHandle(h);
        return true;
    };
    system.inGroup = [](unsigned) { return true; };
    system.groupName = [](unsigned) { return std::string(); };
    return system;
}

std::vector<DoctorFinding> DiagnoseDevice(const std::string& device, const DoctorSystem& system) {
    std::vector<DoctorFinding> findings;
    HANDLE h =
        ::CreateFileW(DevicePath(device).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    const DWORD err = h == INVALID_HANDLE_VALUE ? ::GetLastError() : ERROR_SUCCESS;
    if (h != INVALID_HANDLE_VALUE) {
        ::CloseHandle(h);
    }
    if (err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND) {
        findings.push_back({"device", false, StrFormat("%s does not exist.", device.c_str()),
                            "Plug the radio's USB cable in, or choose another port (rm7util ports lists them)."});
        return findings;
    }
    findings.push_back({"device", true, StrFormat("%s exists.", device.c_str()), ""});
    if (err == ERROR_SUCCESS || (system.mayOpen && system.mayOpen(device))) {
        findings.push_back({"access", true, "You may read and write it.", ""});
        findings.push_back({"holder", true, "No other program has it open.", ""});
    } else if (err == ERROR_ACCESS_DENIED || err == ERROR_SHARING_VIOLATION) {
        // A COM port is opened by one program at a time; Windows says no more than that.
        findings.push_back({"holder", false, "It is in use by another program.",
                            "Close the other program that uses it (a terminal, a logging program) and try again."});
    } else {
        findings.push_back({"access", false,
                            StrFormat("It cannot be opened (error %lu).", static_cast<unsigned long>(err)),
                            "Check the port in Device Manager."});
    }
    return findings;
}

DoctorFinding LatencyFinding(const std::string&, const DoctorSystem&) {
    return {"latency", true, "Not read on Windows (a USB adapter's latency timer is in its port settings).", ""};
}

}  // namespace rm7
