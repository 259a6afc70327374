#pragma once
// Every message code the program posts or sends, in one place. Codes are counted from WM_APP as
// the system has always numbered them, so that traces and the description of each window read
// the same. All share the one pump, and a target may hear the model's notices besides the codes
// it posts to itself, so no two codes are equal (checked below).
#include <cstddef>
#include <cstdint>

#include "platform/message_pump.h"

namespace rm7 {

// The model's notices, to whoever observes the value.
inline constexpr std::uint32_t kMsgStatusText = kMsgApp + 0x0A;    // lParam: const std::string*
inline constexpr std::uint32_t kMsgLogLine = kMsgApp + 0x0F;       // lParam: const std::string*
inline constexpr std::uint32_t kMsgSerialNotice = kMsgApp + 0x10;  // posted by the port's listener
// Posted by a port that closed itself after a failure (the adapter went away).
inline constexpr std::uint32_t kMsgPortLost = kMsgApp + 0x11;
inline constexpr std::uint32_t kMsgFirmwarePageText = kMsgApp + 0x18;
inline constexpr std::uint32_t kMsgPortEvent = kMsgApp + 0x1D;  // wParam: result code of a finished job
inline constexpr std::uint32_t kMsgFirmwareStatus = kMsgApp + 0x64;
inline constexpr std::uint32_t kMsgAdvancedMode = kMsgApp + 0x66;
inline constexpr std::uint32_t kMsgCommandCaptions = kMsgApp + 0x68;  // wParam: macro 0-15
inline constexpr std::uint32_t kMsgCommandTexts = kMsgApp + 0x69;
inline constexpr std::uint32_t kMsgFirmwareFolder = kMsgApp + 0x6F;
inline constexpr std::uint32_t kMsgFixedSerialSpeed = kMsgApp + 0x70;
inline constexpr std::uint32_t kMsgFirmwareVersions = kMsgApp + 0x71;  // wParam: 0 MCU, 1 DSP
inline constexpr std::uint32_t kMsgLoaderFlags = kMsgApp + 0x72;
inline constexpr std::uint32_t kMsgSerialNumber = kMsgApp + 0x79;
inline constexpr std::uint32_t kMsgPortName = kMsgApp + 0x7A;
inline constexpr std::uint32_t kMsgPortState = kMsgApp + 0x7B;
inline constexpr std::uint32_t kMsgSerialSpeed = kMsgApp + 0x7C;
inline constexpr std::uint32_t kMsgBannerText = kMsgApp + 0xFF;
inline constexpr std::uint32_t kMsgCwMemoryTexts = kMsgApp + 0x101;  // wParam: memory 0-5
inline constexpr std::uint32_t kMsgRadioTime = kMsgApp + 0x105;
inline constexpr std::uint32_t kMsgDateTimeUtc = kMsgApp + 0x106;
// The firmware page's own persisted value: bit 0 the MCU "Load" box, bit 1 the DSP box.
inline constexpr std::uint32_t kMsgLoadCheckbox = kMsgApp + 0x10E;
inline constexpr std::uint32_t kMsgTerminalFont = kMsgApp + 0x126;
inline constexpr std::uint32_t kMsgTerminalMode = kMsgApp + 0x127;
inline constexpr std::uint32_t kMsgCwMemoryCaption = kMsgApp + 0x140;
inline constexpr std::uint32_t kMsgCwMemoryText = kMsgApp + 0x141;
inline constexpr std::uint32_t kMsgPskMemoryCaption = kMsgApp + 0x143;
inline constexpr std::uint32_t kMsgPskMemoryText = kMsgApp + 0x14A;
inline constexpr std::uint32_t kMsgRttyMemoryCaption = kMsgApp + 0x14B;
inline constexpr std::uint32_t kMsgRttyMemoryText = kMsgApp + 0x14C;

// What a file-server request's worker posts to the copy job.
inline constexpr std::uint32_t kMsgFtpRequestComplete = kMsgApp + 0x1F;
inline constexpr std::uint32_t kMsgFtpProgress = kMsgApp + 0x22;

// Posted by an object to itself, to act once the current handler has returned.
inline constexpr std::uint32_t kMsgTerminalFeed = kMsgApp + 0x1B;
inline constexpr std::uint32_t kMsgBackupDone = kMsgApp + 0x7F01;
inline constexpr std::uint32_t kMsgCliAnswer = kMsgApp + 0x7F02;
inline constexpr std::uint32_t kMsgAskAcrossMidnight = kMsgApp + 0x7F03;
// Posted from the console's handler thread on Windows.
inline constexpr std::uint32_t kMsgConsoleInterrupt = kMsgApp + 0x7FE0;
// The in-memory port wired to the simulated radio hands on its bytes.
inline constexpr std::uint32_t kMsgMemoryPortDeliver = kMsgApp + 0x7FF0;

namespace message_codes {

inline constexpr std::uint32_t kAll[] = {
    kMsgTimer,
    kMsgStatusText,
    kMsgLogLine,
    kMsgSerialNotice,
    kMsgPortLost,
    kMsgFirmwarePageText,
    kMsgPortEvent,
    kMsgFirmwareStatus,
    kMsgAdvancedMode,
    kMsgCommandCaptions,
    kMsgCommandTexts,
    kMsgFirmwareFolder,
    kMsgFixedSerialSpeed,
    kMsgFirmwareVersions,
    kMsgLoaderFlags,
    kMsgSerialNumber,
    kMsgPortName,
    kMsgPortState,
    kMsgSerialSpeed,
    kMsgBannerText,
    kMsgCwMemoryTexts,
    kMsgRadioTime,
    kMsgDateTimeUtc,
    kMsgLoadCheckbox,
    kMsgTerminalFont,
    kMsgTerminalMode,
    kMsgCwMemoryCaption,
    kMsgCwMemoryText,
    kMsgPskMemoryCaption,
    kMsgPskMemoryText,
    kMsgRttyMemoryCaption,
    kMsgRttyMemoryText,
    kMsgFtpRequestComplete,
    kMsgFtpProgress,
    kMsgTerminalFeed,
    kMsgBackupDone,
    kMsgCliAnswer,
    kMsgAskAcrossMidnight,
    kMsgConsoleInterrupt,
    kMsgMemoryPortDeliver,
};

template <std::size_t N>
constexpr bool AllDistinct(const std::uint32_t (&codes)[N]) {
    for (std::size_t i = 0; i < N; ++i) {
        for (std::size_t j = i + 1; j < N; ++j) {
            if (codes[i] == codes[j]) {
                return false;
            }
        }
    }
    return true;
}

static_assert(AllDistinct(kAll), "two message codes are equal");

}  // namespace message_codes

}  // namespace rm7
