#include "app/frame_logic.h"

#include <array>
#include <cctype>

#include "link/contact.h"
#include "link/port_page_logic.h"
#include "platform/format.h"
#include "platform/program_version.h"
#include "platform/settings.h"
#include "platform/version.h"

namespace rm7 {

std::string FrameTitle(std::uint16_t serialNumber, const std::string& portName, bool portOpen, std::uint32_t speed) {
    std::string title = ProgramVersionLine();
    if (serialNumber < 0xFFFF) {
        title += StrFormat(" - S/N %05u", static_cast<unsigned>(serialNumber));
    }
    if (!portName.empty()) {
        title += portOpen ? StrFormat(" on %s at %u bit/s", portName.c_str(), speed)
                          : StrFormat(" on %s closed", portName.c_str());
    }
    return title;
}

std::string FrameTitle(const CModel& model) {
    return FrameTitle(model.serialNumber.Get(), model.portName.Get(), model.IsPortOpen(), model.serialSpeed.Get());
}

std::string FrameStatusText(const CModel& model) {
    switch (model.firmwareStatus.Get()) {
        case kFirmwareBootLoader:
            return model.WaitingForLoadText();
        case kFirmwareRunning:
            return model.McuVersionText();
        case kFirmwareNone:
            break;
    }
    if (model.portName.Get().empty()) {
        return "No serial port is chosen: choose the radio's port on the Port page";
    }
    if (!model.IsPortOpen()) {
        return StrFormat("Serial port %s is closed", model.portName.Get().c_str());
    }
    return StrFormat("%s is not responding", kModelName);
}

std::string StatusLine(const std::string& text) {
    std::string line;
    bool inBreak = false;
    for (const char c : text) {
        if (c == '\r' || c == '\n') {
            inBreak = true;
            continue;
        }
        if (inBreak && !line.empty()) {
            // A line that ends without a stop ends its sentence here, so the two do not run together.
            line += std::isalnum(static_cast<unsigned char>(line.back())) != 0 ? ". " : " ";
        }
        inBreak = false;
        line += c;
    }
    return line;
}

int InitialPage(int savedIndex, const std::string& portName, int pageCount) {
    if (portName.empty() || savedIndex < 0 || savedIndex >= pageCount) {
        return kPagePort;
    }
    return savedIndex;
}

bool CTransmitOffer::ShouldAsk(const CModel& model, const CRadioSession& session) {
    if (model.transmitState != CModel::TransmitState::kTransmitting || model.firmwareStatus.Get() != kFirmwareRunning) {
        m_asked = false;
        return false;
    }
    if (m_asked || !session.AllIdle()) {
        return false;
    }
    m_asked = true;
    return true;
}

bool SwitchToReceive(CRadioSession& session) {
    if (!session.AllIdle() || !session.Model().IsPortOpen()) {
        return false;
    }
    if (!session.SendText("RX;")) {
        return false;
    }
    session.Contact().StartAtOpenPort();
    return true;
}

void OnPortNameChanged(CRadioSession& session) {
    session.ClosePort();
    if (!session.Model().portName.Get().empty()) {
        session.Contact().StartAtOpenPort();
    }
}

WindowPlacement MakePlacement(int left, int top, int width, int height, bool maximized, bool minimized,
                              bool minimizedFromMaximized) {
    WindowPlacement p;
    p.left = left;
    p.top = top;
    p.right = left + width;
    p.bottom = top + height;
    if (minimized) {
        p.showCmd = WindowPlacement::kShowMinimized;
        p.flags = minimizedFromMaximized ? WindowPlacement::kRestoreToMaximized : 0;
    } else if (maximized) {
        p.showCmd = WindowPlacement::kShowMaximized;
    }
    return p;
}

namespace {

// The ten values in the order they are written.
struct PlacementField {
    const char* name;
    std::uint32_t WindowPlacement::*unsignedField;
    std::int32_t WindowPlacement::*signedField;
};

constexpr std::array<PlacementField, 10> kPlacementFields{{
    {"flags", &WindowPlacement::flags, nullptr},
    {"showCmd", &WindowPlacement::showCmd, nullptr},
    {"minPosX", nullptr, &WindowPlacement::minPosX},
    {"minPosY", nullptr, &WindowPlacement::minPosY},
    {"maxPosX", nullptr, &WindowPlacement::maxPosX},
    {"maxPosY", nullptr, &WindowPlacement::maxPosY},
    {"bottom", nullptr, &WindowPlacement::bottom},
    {"left", nullptr, &WindowPlacement::left},
    {"right", nullptr, &WindowPlacement::right},
    {"top", nullptr, &WindowPlacement::top},
}};

}  // namespace

std::optional<WindowPlacement> LoadPlacement(const CSettingsStore& store) {
    WindowPlacement p;
    for (const PlacementField& field : kPlacementFields) {
        std::uint32_t value = 0;
        if (store.ReadDword(kPlacementSection, field.name, value) != kOk) {
            return std::nullopt;
        }
        if (field.unsignedField != nullptr) {
            p.*field.unsignedField = value;
        } else {
            p.*field.signedField = static_cast<std::int32_t>(value);
        }
    }
    if (p.right <= p.left || p.bottom <= p.top) {
        return std::nullopt;
    }
    return p;
}

Result SavePlacement(CSettingsStore& store, const WindowPlacement& placement) {
    for (const PlacementField& field : kPlacementFields) {
        const std::uint32_t value = field.unsignedField != nullptr
                                        ? placement.*field.unsignedField
                                        : static_cast<std::uint32_t>(placement.*field.signedField);
        const Result r = store.WriteDword(kPlacementSection, field.name, value);
        if (r != kOk) {
            return r;
        }
    }
    return kOk;
}

FrameSize MinimumFrameSize(int tabWidth, int tabHeight) {
    // Integer rounding to the nearest pixel, halves away from zero as the sizes are never negative.
    return {(tabWidth * 105 + 50) / 100, (tabHeight * 109 + 50) / 100};
}

std::vector<PortMenuItem> PortMenuItems(const std::vector<SerialDeviceInfo>& devices) {
    std::vector<PortMenuItem> items;
    items.push_back({kPortMenuFirstCommand, "NONE", std::string()});
    std::uint32_t command = kPortMenuFirstCommand;
    for (const SerialDeviceInfo& device : devices) {
        items.push_back({++command, SerialDeviceLabel(device), device.path});
    }
    return items;
}

}  // namespace rm7
