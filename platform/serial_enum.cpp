#include "platform/serial_enum.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <map>
#include <string_view>
#include <system_error>

namespace rm7 {

namespace {

namespace fs = std::filesystem;

bool StartsWith(const std::string& s, const char* prefix) {
    return s.rfind(prefix, 0) == 0;
}

// A UART the kernel registered without finding hardware has port type 0 (PORT_UNKNOWN).
bool IsRealUart(const fs::path& classEntry) {
    std::error_code ec;
    if (!fs::exists(classEntry / "device" / "driver", ec)) {
        return false;
    }
    std::ifstream in(classEntry / "type");
    int type = -1;
    if (in >> type) {
        return type != 0;
    }
    return true;  // no type to go by: trust the driver
}

bool Wanted(const std::string& name, const fs::path& classEntry) {
    if (StartsWith(name, "ttyUSB") || StartsWith(name, "ttyACM")) {
        return true;
    }
    return StartsWith(name, "ttyS") && IsRealUart(classEntry);
}

bool IsDigit(char c) {
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

// Compares names with their digit runs taken as numbers.
bool NaturalLess(std::string_view a, std::string_view b) {
    const auto number = [](std::string_view s, std::size_t& k) {
        const std::size_t start = k;
        while (k < s.size() && IsDigit(s[k])) {
            ++k;
        }
        std::string_view digits = s.substr(start, k - start);
        const std::size_t nonZero = digits.find_first_not_of('0');
        return nonZero == std::string_view::npos ? std::string_view() : digits.substr(nonZero);
    };
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (IsDigit(a[i]) && IsDigit(b[j])) {
            const std::string_view na = number(a, i);
            const std::string_view nb = number(b, j);
            if (na.size() != nb.size()) {
                return na.size() < nb.size();
            }
            if (na != nb) {
                return na < nb;
            }
        } else if (a[i] != b[j]) {
            return a[i] < b[j];
        } else {
            ++i;
            ++j;
        }
    }
    return a.size() - i < b.size() - j;
}

// by-id link name for each device name it points to (the first name in order when several do).
std::map<std::string, std::string> ByIdNames(const fs::path& devRoot) {
    std::map<std::string, std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(devRoot / "serial" / "by-id", ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code linkEc;
        const fs::path target = fs::read_symlink(it->path(), linkEc);
        if (linkEc || !target.has_filename()) {
            continue;
        }
        const std::string device = target.filename().string();
        const std::string link = it->path().filename().string();
        auto found = names.find(device);
        if (found == names.end()) {
            names.emplace(device, link);
        } else if (link < found->second) {
            found->second = link;
        }
    }
    return names;
}

}  // namespace

std::vector<SerialDeviceInfo> EnumerateSerialDevices(const fs::path& sysRoot, const fs::path& devRoot) {
    std::vector<SerialDeviceInfo> devices;
    const auto byId = ByIdNames(devRoot);
    std::error_code ec;
    for (fs::directory_iterator it(sysRoot / "class" / "tty", ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (!Wanted(name, it->path())) {
            continue;
        }
        const fs::path node = devRoot / name;
        std::error_code nodeEc;
        if (!fs::exists(node, nodeEc)) {
            continue;  // nothing to open (a container without the node, say)
        }
        const auto id = byId.find(name);
        devices.push_back({node.string(), id != byId.end() ? id->second : node.string()});
    }
    std::sort(devices.begin(), devices.end(),
              [](const SerialDeviceInfo& a, const SerialDeviceInfo& b) { return NaturalLess(a.path, b.path); });
    return devices;
}

std::vector<SerialDeviceInfo> EnumerateSerialDevices() {
    return EnumerateSerialDevices("/sys", "/dev");
}

}  // namespace rm7
