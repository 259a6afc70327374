#include "platform/serial_enum.h"

#include <algorithm>
#include <cctype>

#include "platform/win/wide_text.h"

namespace rm7 {

namespace {

// "COM2" before "COM10".
bool NaturalLess(const std::string& a, const std::string& b) {
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (std::isdigit(static_cast<unsigned char>(a[i])) && std::isdigit(static_cast<unsigned char>(b[j]))) {
            std::size_t ei = i;
            std::size_t ej = j;
            while (ei < a.size() && std::isdigit(static_cast<unsigned char>(a[ei]))) {
                ++ei;
            }
            while (ej < b.size() && std::isdigit(static_cast<unsigned char>(b[ej]))) {
                ++ej;
            }
            const unsigned long na = std::stoul(a.substr(i, ei - i));
            const unsigned long nb = std::stoul(b.substr(j, ej - j));
            if (na != nb) {
                return na < nb;
            }
            i = ei;
            j = ej;
        } else {
            if (a[i] != b[j]) {
                return a[i] < b[j];
            }
            ++i;
            ++j;
        }
    }
    return a.size() - i < b.size() - j;
}

}  // namespace

// The ports the serial drivers have announced: one value each under SERIALCOMM, its data the
// COM name, its name the driver's device ("\Device\VCP0" for a USB adapter).
std::vector<SerialDeviceInfo> EnumerateSerialDevices() {
    std::vector<SerialDeviceInfo> devices;
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return devices;
    }
    for (DWORD index = 0;; ++index) {
        wchar_t name[256];
        DWORD nameLength = 256;
        wchar_t data[256];
        DWORD dataBytes = sizeof data - sizeof(wchar_t);
        DWORD type = 0;
        const LONG r =
            ::RegEnumValueW(key, index, name, &nameLength, nullptr, &type, reinterpret_cast<BYTE*>(data), &dataBytes);
        if (r == ERROR_NO_MORE_ITEMS) {
            break;
        }
        if (r != ERROR_SUCCESS || type != REG_SZ) {
            continue;
        }
        data[dataBytes / sizeof(wchar_t)] = L'\0';
        const std::string port = WideToUtf8(data);
        if (port.empty()) {
            continue;
        }
        devices.push_back({port, port + " (" + WideToUtf8(std::wstring(name, nameLength)) + ")"});
    }
    ::RegCloseKey(key);
    std::sort(devices.begin(), devices.end(),
              [](const SerialDeviceInfo& a, const SerialDeviceInfo& b) { return NaturalLess(a.path, b.path); });
    return devices;
}

}  // namespace rm7
