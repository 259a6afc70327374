#include "model/radio_presence.h"

#include "model/firmware_version.h"
#include "platform/format.h"
#include "platform/version.h"

namespace rm7 {

RadioPresence RadioPresenceOf(const CModel& model) {
    if (!model.IsPortOpen()) {
        return RadioPresence::kPortClosed;
    }
    switch (model.firmwareStatus.Get()) {
        case kFirmwareBootLoader:
            return RadioPresence::kBootLoader;
        case kFirmwareRunning:
            return RadioPresence::kRunning;
        case kFirmwareNone:
            break;
    }
    return RadioPresence::kNoRadio;
}

namespace {

std::string PortAndSpeed(const CModel& model) {
    return StrFormat("%s at %u bit/s", model.portName.Get().c_str(), model.serialSpeed.Get());
}

}  // namespace

RadioIndicator RadioIndicatorOf(const CModel& model) {
    const RadioPresence presence = RadioPresenceOf(model);
    const std::string port = model.portName.Get();
    switch (presence) {
        case RadioPresence::kPortClosed:
            return {presence, "Port closed",
                    port.empty() ? std::string("No serial port chosen: choose one on the Port page")
                                 : StrFormat("Serial port %s is closed: Test Communications on the Port page opens it",
                                             port.c_str())};
        case RadioPresence::kNoRadio:
            return {presence, "No radio",
                    StrFormat("No %s answers on %s: is it switched on and the cable in?", kModelName, port.c_str())};
        case RadioPresence::kBootLoader:
            return {presence, StrFormat("%s boot loader", kModelName), model.WaitingForLoadText()};
        case RadioPresence::kRunning:
            break;
    }
    std::string text = kModelName;
    if (model.serialNumber.Get() < 0xFFFF) {
        text += StrFormat(" S/N %05u", static_cast<unsigned>(model.serialNumber.Get()));
    }
    text += " MCU " + model.FirmwareVersionText(0);
    const std::uint16_t dsp = model.firmwareVersions.Get(1);
    if (dsp != kVersionNotRead && dsp != kVersionNotAvailable && dsp != kVersionLoading) {
        text += " DSP " + model.FirmwareVersionText(1);
    }
    return {presence, text, StrFormat("%s found on %s", kModelName, PortAndSpeed(model).c_str())};
}

std::string RadioActionBlocker(const CModel& model, RadioNeed need) {
    const std::string port = model.portName.Get();
    switch (RadioPresenceOf(model)) {
        case RadioPresence::kPortClosed:
            return port.empty() ? std::string("Needs the radio: no serial port is chosen (Port page)")
                                : StrFormat("Needs the radio: serial port %s is closed (Port page)", port.c_str());
        case RadioPresence::kNoRadio:
            return StrFormat("Needs the radio: no %s answers on %s", kModelName, port.c_str());
        case RadioPresence::kBootLoader:
            return need == RadioNeed::kAnswer
                       ? std::string()
                       : StrFormat(
                             "Needs the radio's firmware: the %s waits in its boot loader for a firmware load "
                             "(Firmware page)",
                             kModelName);
        case RadioPresence::kRunning:
            break;
    }
    return std::string();
}

}  // namespace rm7
