#pragma once
// What the main window shows and decides, kept apart from any toolkit so it is tested
// without a window: the title, the status text, which page opens, the stored placement,
// the minimum size and the technician's port menu.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "link/radio_session.h"
#include "model/model.h"
#include "platform/result.h"
#include "platform/serial_enum.h"
#include "ui/page_index.h"

namespace rm7 {

class CSettingsStore;

// "RM7 Utility Version 1.0.0.1 - S/N 00300 on /dev/ttyUSB0 at 38400 bit/s"; the serial number
// only while known (below 0xFFFF), the port part only while a port name is set.
std::string FrameTitle(std::uint16_t serialNumber, const std::string& portName, bool portOpen, std::uint32_t speed);
std::string FrameTitle(const CModel& model);

// The status line that follows the firmware status: the waiting-for-load or MCU version text,
// else whether the port is closed or the radio silent.
std::string FrameStatusText(const CModel& model);

// A status text as the status bar's one line: each line break ("\r\n", "\n" or "\r", and
// a run of them) becomes one blank, after a full stop when the line ended without one; breaks
// at either end are dropped.
std::string StatusLine(const std::string& text);

// The About box's lines beside the version. The licence's whole text is LICENSE, shipped beside the
// README (the .deb's doc folder, the Windows zip).
inline constexpr const char* kCopyrightLine = "Copyright \u00A9 2026 the RM7 Utility developers";
inline constexpr const char* kLicenceLine = "Free software under the GNU General Public License, version 3 or later";
inline constexpr const char* kLicenceTextLine = "Its text is in the file LICENSE, beside the README.";

// The page to open: the saved one only when a port is set and the index names a page.
int InitialPage(int savedIndex, const std::string& portName, int pageCount = kPageCount);

// A change of the port name: the old port closes, and a new name is contacted at once.
void OnPortNameChanged(CRadioSession& session);

// A radio found transmitting (a program stopped while its carrier was keyed): the window asks
// once whether to switch it to receive. The question is shown later from the event loop, never
// from inside the radio's callback that noticed it.
inline constexpr const char* kTransmittingCaption = "Radio Transmitting";
inline constexpr const char* kTransmittingQuestion =
    "The radio is transmitting: a program may have stopped while it transmitted. Switch it to receive?";

class CTransmitOffer {
  public:
    // After a port event: true, once for each time the contact finds the radio transmitting, when
    // the question is to be asked. A radio found in receive since asks again the next time.
    bool ShouldAsk(const CModel& model, const CRadioSession& session);

  private:
    bool m_asked = false;
};

// The answer Yes: "RX;" while no machine talks to the radio, then the radio is looked for again
// (the contact asks "TQ;" anew). False, nothing sent, while a job or the contact runs.
bool SwitchToReceive(CRadioSession& session);

// The window placement as the ten dword values of section "Window", in the order they are
// written. The toolkit's geometry maps onto it so:
//   left, top, right, bottom  the window's normal (restored) geometry as the toolkit gives it,
//                             inside the window manager's frame; right and bottom exclusive;
//                             signed values stored as their 32-bit pattern, for screens left of
//                             or above the primary one;
//   showCmd                   1 shown normally, 2 minimized, 3 maximized;
//   flags                     2 (restore to maximized) when minimized from the maximized state;
//   minPos*, maxPos*          -1: the window system chooses where icons and maximized windows go.
struct WindowPlacement {
    static constexpr std::uint32_t kShowNormal = 1;
    static constexpr std::uint32_t kShowMinimized = 2;
    static constexpr std::uint32_t kShowMaximized = 3;
    static constexpr std::uint32_t kRestoreToMaximized = 2;

    std::uint32_t flags = 0;
    std::uint32_t showCmd = kShowNormal;
    std::int32_t minPosX = -1;
    std::int32_t minPosY = -1;
    std::int32_t maxPosX = -1;
    std::int32_t maxPosY = -1;
    std::int32_t bottom = 0;
    std::int32_t left = 0;
    std::int32_t right = 0;
    std::int32_t top = 0;

    // The state to come back in: a window closed while minimized opens as it was before.
    bool OpensMaximized() const {
        return showCmd == kShowMaximized || (showCmd == kShowMinimized && (flags & kRestoreToMaximized) != 0);
    }
    bool operator==(const WindowPlacement&) const = default;
};

inline constexpr const char* kPlacementSection = "Window";

WindowPlacement MakePlacement(int left, int top, int width, int height, bool maximized, bool minimized,
                              bool minimizedFromMaximized);
// Only a complete placement counts: all ten values there and dwords, and a rectangle with an
// area (a damaged one would open a window nobody can see).
std::optional<WindowPlacement> LoadPlacement(const CSettingsStore& store);
// Writes the ten values in order, stopping at the first that fails.
Result SavePlacement(CSettingsStore& store, const WindowPlacement& placement);

struct FrameSize {
    int width;
    int height;
    bool operator==(const FrameSize&) const = default;
};
// 105 % of the tab view's width and 109 % of its height, each rounded to the nearest pixel.
FrameSize MinimumFrameSize(int tabWidth, int tabHeight);

// The technician's "&Port" menu: "NONE" (command 30000, no port) and the devices (30001, ...).
struct PortMenuItem {
    std::uint32_t command;
    std::string label;
    std::string port;  // the device to use; empty for "NONE"
    bool operator==(const PortMenuItem&) const = default;
};
inline constexpr std::uint32_t kPortMenuFirstCommand = 30000;
std::vector<PortMenuItem> PortMenuItems(const std::vector<SerialDeviceInfo>& devices);

}  // namespace rm7
