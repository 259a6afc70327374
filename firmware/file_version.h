#pragma once
// What a firmware file's name says: which processor it is for and its version.
#include <cstdint>
#include <filesystem>

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

}  // namespace rm7
