#include "terminal/terminal_settings.h"

#include <algorithm>
#include <cmath>

#include "platform/format.h"
#include "platform/settings.h"

namespace rm7 {

double IdleTimeoutSeconds(unsigned long ms) {
    return static_cast<double>((std::min(ms, kIdleTimeoutMaxMs) + 50) / 100) / 10.0;
}

unsigned long IdleTimeoutMs(double seconds, unsigned long storedMs) {
    // Tenths compared, not doubles: 1.2 s shown for a stored 1234 ms is no change.
    if (std::lround(seconds * 10.0) == std::lround(IdleTimeoutSeconds(storedMs) * 10.0)) {
        return storedMs;
    }
    const long ms = std::lround(std::clamp(seconds, 0.0, kIdleTimeoutMaxMs / 1000.0) * 1000.0);
    return std::min(static_cast<unsigned long>(ms), kIdleTimeoutMaxMs);
}

const char* MemoryMarkersHint(TerminalMode mode) {
    if (mode == TerminalMode::kCw) {
        return "[TXON] switches transmission on. In CW, [TXOFF] does nothing: the radio keys until you "
               "press Stop (Ctrl+T). [CRLF] and [NL] end a line.";
    }
    return "[TXON] switches transmission on; [TXOFF] switches it off once the memory's text has gone. "
           "[CRLF] and [NL] end a line.";
}

CTerminalSettings::CTerminalSettings(IMessagePump& pump)
    : captions{CPersistableStrings(pump, kMsgCwMemoryCaption, "CWMemoryCaption%u"),
               CPersistableStrings(pump, kMsgRttyMemoryCaption, "RttyMemoryCaption%u"),
               CPersistableStrings(pump, kMsgPskMemoryCaption, "PskMemoryCaption%u")},
      texts{CPersistableStrings(pump, kMsgCwMemoryText, "CWMemoryText%u"),
            CPersistableStrings(pump, kMsgRttyMemoryText, "RttyMemoryText%u"),
            CPersistableStrings(pump, kMsgPskMemoryText, "PskMemoryText%u")},
      activityTimeoutMs(pump, 0, "TerminalActivityTimeout", 0),
      fontBold(pump, kMsgTerminalFont, "TerminalFontBold", 0),
      fontItalic(pump, kMsgTerminalFont, "TerminalFontItalic", 0),
      fontName(pump, kMsgTerminalFont, "TerminalFontName", "Courier New"),
      fontSize(pump, kMsgTerminalFont, "TerminalFontSize", 10),
      mode(pump, kMsgTerminalMode, "TerminalMode", 0) {}

void CTerminalSettings::Load(const CSettingsStore* store) {
    if (store != nullptr) {
        for (std::size_t m = 0; m < 3; ++m) {
            captions[m].Load(*store);
            texts[m].Load(*store);
        }
        IPersistable* values[] = {&activityTimeoutMs, &fontBold, &fontItalic, &fontName, &fontSize, &mode};
        for (IPersistable* value : values) {
            value->Load(*store);
        }
    }
    if (mode.Get() > 2) {
        mode.Set(0);
    }
    for (CPersistableStrings& array : captions) {
        for (std::size_t i = 0; i < kTerminalMemories; ++i) {
            if (array.Get(i).empty()) {
                array.Set(i, StrFormat("Memory %u", static_cast<unsigned>(i + 1)));
            }
        }
    }
}

Result CTerminalSettings::Save(CSettingsStore* store) {
    if (store == nullptr) {
        return kOk;
    }
    Result result = kOk;
    auto keep = [&result](Result r) {
        if (r != kOk && result == kOk) {
            result = r;
        }
    };
    for (std::size_t m = 0; m < 3; ++m) {
        keep(captions[m].Save(*store));
        keep(texts[m].Save(*store));
    }
    IPersistable* values[] = {&activityTimeoutMs, &fontBold, &fontItalic, &fontName, &fontSize, &mode};
    for (IPersistable* value : values) {
        keep(value->Save(*store));
    }
    keep(store->Save());
    return result;
}

TerminalMode CTerminalSettings::Mode() const {
    return static_cast<TerminalMode>(mode.Get() <= 2 ? mode.Get() : 0);
}

CPersistableStrings& CTerminalSettings::Captions(TerminalMode m) {
    return captions[static_cast<std::size_t>(m)];
}

CPersistableStrings& CTerminalSettings::Texts(TerminalMode m) {
    return texts[static_cast<std::size_t>(m)];
}

}  // namespace rm7
