#pragma once
// What a firmware file's name says: which processor it is for and its version.
#include <cstdint>
#include <filesystem>

#include "platform/result.h"

namespace rm7 {

enum class FirmwareKind { Unknown, Mcu, Dsp };

// The processors' names in every text about their firmware.
inline constexpr const char* kMcuPartName = "MCU";
inline constexpr const char* kDspPartName = "DSP";

// The last run of decimal digits in the file name before its extension, read as a
// decimal number modulo 65536 (major * 100 + minor: fmcu0254.hex is 254, "02.54");
// 0 when the name has no digits. Folders are not looked at.
std::uint16_t FileVersion(const std::filesystem::path& path);

// Mcu for "fmcu*.hex", Dsp for "fdsp*.hex" (case ignored), Unknown otherwise.
FirmwareKind FirmwareKindFromName(const std::filesystem::path& path);

// Whether the name lets the file be loaded into `kind`'s processor: it must be that
// processor's name (another processor's firmware, or a file of no known kind, could leave
// the radio unable to start) and carry a version, by which the load is verified. 0,
// kErrFirmwareNameKind or kErrFirmwareNameVersion. An empty path is left to the file's
// open to report.
Result CheckFirmwareName(const std::filesystem::path& path, FirmwareKind kind);

}  // namespace rm7
