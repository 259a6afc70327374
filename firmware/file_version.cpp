#include "firmware/file_version.h"

#include <string>

#include "platform/result_codes.h"
#include "platform/text.h"

namespace rm7 {

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

}  // namespace

std::uint16_t FileVersion(const std::filesystem::path& path) {
    const std::string stem = path.filename().stem().string();
    std::size_t end = stem.size();
    while (end > 0 && !IsDigit(stem[end - 1])) {
        --end;
    }
    std::size_t begin = end;
    while (begin > 0 && IsDigit(stem[begin - 1])) {
        --begin;
    }
    std::uint16_t value = 0;
    for (std::size_t i = begin; i < end; ++i) {
        value = static_cast<std::uint16_t>(value * 10u + static_cast<unsigned>(stem[i] - '0'));
    }
    return value;
}

FirmwareKind FirmwareKindFromName(const std::filesystem::path& path) {
    const std::string name = path.filename().string();
    if (!EqualsNoCase(path.filename().extension().string(), ".hex")) {
        return FirmwareKind::Unknown;
    }
    if (StartsWithNoCase(name, "fmcu")) {
        return FirmwareKind::Mcu;
    }
    if (StartsWithNoCase(name, "fdsp")) {
        return FirmwareKind::Dsp;
    }
    return FirmwareKind::Unknown;
}

Result CheckFirmwareName(const std::filesystem::path& path, FirmwareKind kind) {
    if (path.filename().empty()) {
        return kOk;
    }
    if (kind == FirmwareKind::Unknown || FirmwareKindFromName(path) != kind) {
        return kErrFirmwareNameKind;
    }
    return FileVersion(path) == 0 ? kErrFirmwareNameVersion : kOk;
}

}  // namespace rm7
