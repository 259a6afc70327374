#include "platform/port_doctor.h"

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <system_error>

#include "platform/format.h"
#include "platform/tty.h"

namespace rm7 {
namespace fs = std::filesystem;
namespace {

std::string FirstLine(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

std::string ByIdName(const std::string& device, const DoctorSystem& system) {
    std::error_code ec;
    const fs::path target = fs::weakly_canonical(device, ec);
    for (fs::directory_iterator it(system.devRoot / "serial" / "by-id", ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code linkEc;
        const fs::path resolved = fs::weakly_canonical(it->path(), linkEc);
        if (!linkEc && resolved == target) {
            return it->path().string();
        }
    }
    return {};
}

// The USB device above the tty in sysfs: the nearest parent with idVendor.
fs::path UsbDeviceDir(const std::string& device, const DoctorSystem& system) {
    std::error_code ec;
    fs::path dir = fs::canonical(system.sysRoot / "class" / "tty" / fs::path(device).filename() / "device", ec);
    for (; !ec && !dir.empty() && dir != dir.root_path(); dir = dir.parent_path()) {
        if (fs::exists(dir / "idVendor", ec)) {
            return dir;
        }
    }
    return {};
}

std::vector<std::string> RunningServices(const DoctorSystem& system) {
    std::vector<std::string> found;
    std::error_code ec;
    for (fs::directory_iterator it(system.procRoot, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string pid = it->path().filename().string();
        if (pid.empty() || pid.find_first_not_of("0123456789") != std::string::npos) {
            continue;
        }
        const std::string comm = FirstLine(it->path() / "comm");
        if ((comm == "ModemManager" || comm == "brltty") &&
            std::find(found.begin(), found.end(), comm) == found.end()) {
            found.push_back(comm);
        }
    }
    return found;
}

}  // namespace

DoctorSystem LocalDoctorSystem() {
    DoctorSystem system;
    system.holder = [](const std::string& device, std::string& name) { return FindDeviceHolder(device, name); };
    system.mayOpen = [](const std::string& device) { return ::access(device.c_str(), R_OK | W_OK) == 0; };
    system.inGroup = [](unsigned gid) { return UserInGroup(gid); };
    system.groupName = [](unsigned gid) { return GroupNameOf(gid); };
    system.uid = ::geteuid();
    return system;
}

namespace {

// A group whose members may read and write the device, and that is not root's.
bool GroupMayUse(const struct stat& st, const std::string& group) {
    return group != "root" && (st.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
}

}  // namespace

std::vector<DoctorFinding> DiagnoseDevice(const std::string& device, const DoctorSystem& system) {
    std::vector<DoctorFinding> findings;
    struct stat st {};
    if (::stat(device.c_str(), &st) != 0) {
        findings.push_back({"device", false, StrFormat("%s does not exist.", device.c_str()),
                            "Plug the radio's USB cable in, or choose another port (rm7util ports lists them)."});
        return findings;
    }
    std::string text = StrFormat("%s exists", device.c_str());
    if (const std::string byId = ByIdName(device, system); !byId.empty()) {
        text += StrFormat(" (%s)", byId.c_str());
    }
    if (const fs::path usb = UsbDeviceDir(device, system); !usb.empty()) {
        text += StrFormat("; USB %s:%s", FirstLine(usb / "idVendor").c_str(), FirstLine(usb / "idProduct").c_str());
        const std::string maker = FirstLine(usb / "manufacturer");
        const std::string product = FirstLine(usb / "product");
        if (!maker.empty() || !product.empty()) {
            text += StrFormat(" %s %s", maker.c_str(), product.c_str());
        }
    }
    findings.push_back({"device", true, text + ".", ""});

    const bool mayOpen = system.mayOpen(device);
    const std::string group = system.groupName(st.st_gid);
    const bool member = system.inGroup(st.st_gid);
    if (mayOpen) {
        findings.push_back(
            {"access", true,
             StrFormat("You may read and write it (group \"%s\"%s).", group.c_str(), member ? ", you are in it" : ""),
             ""});
    } else if (!member && system.uid != 0 && !GroupMayUse(st, group)) {
        // Joining a group that may not use the device (or root's own) would not help, and root's
        // group would give away far more than the port.
        const std::string kernelName = fs::path(device).filename().string();
        findings.push_back(
            {"access", false,
             StrFormat("You may not open it: it is not meant for users (group \"%s\", mode %03o).", group.c_str(),
                       static_cast<unsigned>(st.st_mode & 0777)),
             StrFormat("Give the group dialout access with a udev rule, then plug the adapter in again: echo "
                       "'SUBSYSTEM==\"tty\", KERNEL==\"%s\", GROUP=\"dialout\", MODE=\"0660\"' | sudo tee "
                       "/etc/udev/rules.d/70-rm7.rules; then sudo usermod -aG dialout $USER and log in again.",
                       kernelName.c_str())});
    } else if (!member && system.uid != 0) {
        findings.push_back(
            {"access", false,
             StrFormat("You may not open it: it belongs to the group \"%s\", and you are not in it.", group.c_str()),
             StrFormat("sudo usermod -aG %s $USER, then log in again.", group.c_str())});
    } else {
        findings.push_back(
            {"access", false, "You may not open it.", StrFormat("Check its permissions (ls -l %s).", device.c_str())});
    }

    std::string holderName;
    if (const int pid = system.holder(device, holderName)) {
        findings.push_back({"holder", false, StrFormat("It is in use by %s (pid %d).", holderName.c_str(), pid),
                            "Close that program and try again."});
    } else {
        findings.push_back({"holder", true, "No other program has it open.", ""});
    }

    const auto services = RunningServices(system);
    if (services.empty()) {
        findings.push_back({"services", true, "Neither ModemManager nor brltty is running.", ""});
    }
    for (const std::string& service : services) {
        findings.push_back({"services", false, StrFormat("%s is running and may grab the port.", service.c_str()),
                            service == "ModemManager"
                                ? "sudo systemctl stop ModemManager (or disable it), then try again."
                                : "sudo systemctl stop brltty (or remove the brltty package), then try again."});
    }
    return findings;
}

DoctorFinding LatencyFinding(const std::string& device, const DoctorSystem& system) {
    const fs::path file = system.sysRoot / "class" / "tty" / fs::path(device).filename() / "device" / "latency_timer";
    const std::string value = FirstLine(file);
    if (value.empty()) {
        return {"latency", true, "No latency timer (not a USB serial adapter that has one).", ""};
    }
    const long ms = std::strtol(value.c_str(), nullptr, 10);
    if (ms <= 1) {
        return {"latency", true, StrFormat("Latency timer %ld ms: low-latency mode took effect.", ms), ""};
    }
    return {"latency", false, StrFormat("Latency timer %ld ms: low-latency mode did not take effect.", ms),
            StrFormat("echo 1 | sudo tee %s", file.string().c_str())};
}

}  // namespace rm7
