#pragma once
#include <cstdint>
#include <string>

namespace rm7 {

inline constexpr std::uint16_t kVersionNotRead = 0;
inline constexpr std::uint16_t kVersionNotAvailable = 999;
inline constexpr std::uint16_t kVersionLoading = 0xFFFE;

// "%02u.%02u", or "??.??", " N/A ", "Loading" for the reserved values.
std::string VersionText(std::uint16_t version);
bool IsKnownVersion(std::uint16_t version);

}  // namespace rm7
