#include "platform/simulated_firmware.h"

#include <system_error>

#include "platform/os_error.h"
#include "platform/temp_dir.h"

namespace rm7 {

CSimulatedFirmware::~CSimulatedFirmware() {
    Remove();
}

Result CSimulatedFirmware::Create(const Maker& make, bool fillFolder) {
    Remove();
    if (const Result r = MakeTempDirectory("rm7-simulate-", m_root); r != kOk) {
        m_root.clear();
        return r;
    }
    std::error_code ec;
    const std::filesystem::path mirror = m_root / "mirror" / "RM7" / "firmware";
    std::filesystem::create_directories(mirror, ec);
    if (!ec) {
        std::filesystem::create_directories(Folder(), ec);
    }
    if (ec) {
        const Result r = ResultFromErrno(ec.value());
        Remove();
        return r;
    }
    Result r = make(mirror);
    if (r == kOk && fillFolder) {
        r = make(Folder());
    }
    if (r != kOk) {
        Remove();
    }
    return r;
}

std::filesystem::path CSimulatedFirmware::Folder() const {
    return m_root.empty() ? std::filesystem::path() : m_root / "firmware";
}

std::string CSimulatedFirmware::ServerUrl() const {
    if (m_root.empty()) {
        return {};
    }
    // file:///tmp/x, and on Windows file:///C:/x: the path always after a third slash.
    const std::string path = (m_root / "mirror").generic_string();
    return "file://" + std::string(path.front() == '/' ? "" : "/") + path;
}

std::filesystem::path CSimulatedFirmware::BackupFolder() const {
    return m_root.empty() ? std::filesystem::path() : m_root / "backups";
}

void CSimulatedFirmware::Remove() {
    if (!m_root.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(m_root, ec);
        m_root.clear();
    }
}

}  // namespace rm7
