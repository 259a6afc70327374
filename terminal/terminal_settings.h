#pragma once
// The text terminal's own settings under the application key: sixteen memories (caption and
// text) for each mode, the idle time-out, the font and the mode.
//
// Threads: UI thread only. Notifications are synchronous.
#include <array>
#include <cstdint>
#include <string>

#include "model/messages.h"
#include "model/observable.h"
#include "platform/message_pump.h"
#include "terminal/terminal_text.h"

namespace rm7 {

class CSettingsStore;

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
