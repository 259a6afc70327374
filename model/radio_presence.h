#pragma once
// Whether a radio answers, told the same way everywhere: the main window's indicator, and
// which radio actions a page offers and why not. Decided here, apart from any toolkit, so
// every page disables the same actions for the same reason.
#include <string>

#include "model/model.h"

namespace rm7 {

enum class RadioPresence {
    kPortClosed,  // no port chosen, or it is closed (or would not open)
    kNoRadio,     // the port is open and nothing has answered (yet)
    kBootLoader,  // the radio's boot loader waits for a firmware load
    kRunning,     // the radio runs its firmware
};

RadioPresence RadioPresenceOf(const CModel& model);

// The status bar's permanent indicator: a short text, and a tooltip with the port and speed.
struct RadioIndicator {
    RadioPresence presence;
    std::string text;
    std::string toolTip;
};
RadioIndicator RadioIndicatorOf(const CModel& model);

// What an action needs of the radio.
enum class RadioNeed {
    kAnswer,    // anything that answers: the firmware or its boot loader (sending by hand)
    kFirmware,  // the radio running its firmware (settings, clock, memories, transmitting)
};

// Empty when the action can run now; else why not, one sentence for a disabled control's
// tooltip ("No radio answers on /dev/ttyUSB0: ...").
std::string RadioActionBlocker(const CModel& model, RadioNeed need);

}  // namespace rm7
