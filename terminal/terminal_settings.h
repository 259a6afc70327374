#pragma once
// The text terminal's own settings under the application key: sixteen memories (caption and
// text) for each mode, the idle time-out, the font and the mode.
//
// Threads: UI thread only. Notifications are synchronous.
#include <array>
#include <cstdint>
#include <string>

#include "model/observable.h"
#include "platform/message_pump.h"
#include "terminal/terminal_text.h"

namespace rm7 {

class CSettingsStore;

inline constexpr std::uint32_t kMsgTerminalFont = kMsgApp + 0x126;
inline constexpr std::uint32_t kMsgTerminalMode = kMsgApp + 0x127;
inline constexpr std::uint32_t kMsgCwMemoryCaption = kMsgApp + 0x140;
inline constexpr std::uint32_t kMsgCwMemoryText = kMsgApp + 0x141;
inline constexpr std::uint32_t kMsgPskMemoryCaption = kMsgApp + 0x143;
inline constexpr std::uint32_t kMsgPskMemoryText = kMsgApp + 0x14A;
inline constexpr std::uint32_t kMsgRttyMemoryCaption = kMsgApp + 0x14B;
inline constexpr std::uint32_t kMsgRttyMemoryText = kMsgApp + 0x14C;

inline constexpr std::size_t kTerminalMemories = 16;

// The idle time-out is kept in milliseconds and edited in seconds, to a tenth: a person who types
// 5 means five seconds. The stored value keeps its milliseconds unless the seconds shown change.
inline constexpr unsigned long kIdleTimeoutMaxMs = 99999;
double IdleTimeoutSeconds(unsigned long ms);
unsigned long IdleTimeoutMs(double seconds, unsigned long storedMs);

// What the memory editor says about the markers a memory may hold: [TXOFF] stops only RTTY and
// PSK, and CW goes on until the user stops it.
const char* MemoryMarkersHint(TerminalMode mode);

// Sixteen strings stored as name1 ... name16; the notice's wParam is the index.
using CPersistableStrings = CPersistableArray<kTerminalMemories>;

class CTerminalSettings {
  public:
    explicit CTerminalSettings(IMessagePump& pump);

    // Empty captions become "Memory 1" ... "Memory 16" after loading.
    void Load(const CSettingsStore* store);
    // Every value into the store, then the store to its file.
    Result Save(CSettingsStore* store);

    TerminalMode Mode() const;
    void SetMode(TerminalMode m) { mode.Set(static_cast<unsigned char>(m)); }
    CPersistableStrings& Captions(TerminalMode mode);
    CPersistableStrings& Texts(TerminalMode mode);

    std::array<CPersistableStrings, 3> captions;  // by mode: CW, RTTY, PSK
    std::array<CPersistableStrings, 3> texts;
    CPersistable<unsigned long> activityTimeoutMs;
    CPersistable<int> fontBold;
    CPersistable<int> fontItalic;
    CPersistable<std::string> fontName;
    CPersistable<unsigned long> fontSize;
    CPersistable<unsigned char> mode;
};

}  // namespace rm7
