#pragma once
// Message codes, counted from WM_APP as the system has always numbered them, so that
// traces and the description of each window read the same.
#include <cstdint>

#include "platform/message_pump.h"

namespace rm7 {

inline constexpr std::uint32_t kMsgStatusText = kMsgApp + 0x0A;    // lParam: const std::string*
inline constexpr std::uint32_t kMsgLogLine = kMsgApp + 0x0F;       // lParam: const std::string*
inline constexpr std::uint32_t kMsgSerialNotice = kMsgApp + 0x10;  // posted by the port's listener
// Posted by a port that closed itself after a failure (the adapter went away).
inline constexpr std::uint32_t kMsgPortLost = kMsgApp + 0x11;
inline constexpr std::uint32_t kMsgFirmwarePageText = kMsgApp + 0x18;
inline constexpr std::uint32_t kMsgPortEvent = kMsgApp + 0x1D;  // wParam: result code of a finished job
inline constexpr std::uint32_t kMsgFirmwareStatus = kMsgApp + 0x64;
inline constexpr std::uint32_t kMsgAdvancedMode = kMsgApp + 0x66;
inline constexpr std::uint32_t kMsgFirmwareFolder = kMsgApp + 0x6F;
inline constexpr std::uint32_t kMsgFixedSerialSpeed = kMsgApp + 0x70;
inline constexpr std::uint32_t kMsgFirmwareVersions = kMsgApp + 0x71;  // wParam: 0 MCU, 1 DSP
inline constexpr std::uint32_t kMsgLoaderFlags = kMsgApp + 0x72;
inline constexpr std::uint32_t kMsgSerialNumber = kMsgApp + 0x79;
inline constexpr std::uint32_t kMsgPortName = kMsgApp + 0x7A;
inline constexpr std::uint32_t kMsgPortState = kMsgApp + 0x7B;
inline constexpr std::uint32_t kMsgSerialSpeed = kMsgApp + 0x7C;

}  // namespace rm7
