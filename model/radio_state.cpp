#include "model/radio_state.h"

#include "model/firmware_version.h"
#include "platform/format.h"
#include "platform/version.h"

namespace rm7 {

RadioState RadioStateOf(const CModel& model) {
    if (!model.IsPortOpen()) {
        return RadioState::kPortClosed;
    }
    switch (model.firmwareStatus.Get()) {
        case kFirmwareBootLoader:
            return RadioState::kBootLoader;
        case kFirmwareRunning:
            return RadioState::kRunning;
        case kFirmwareNone:
            break;
    }
    return RadioState::kNoRadio;
}

namespace {

std::string PortAndSpeed(const CModel& model) {
    return StrFormat("%s at %u bit/s", model.portName.Get().c_str(), model.serialSpeed.Get());
}

}  // namespace

RadioIndicator RadioIndicatorOf(const CModel& model) {
    const RadioState state = RadioStateOf(model);
    const std::string port = model.portName.Get();
    switch (state) {
        case RadioState::kPortClosed:
            return {state, "Port closed",
                    port.empty() ? std::string("No serial port chosen: choose one on the Port page")
                                 : StrFormat("Serial port %s is closed: Test Communications on the Port page opens it",
                                             port.c_str())};
        case RadioState::kNoRadio:
            return {state, "No radio",
                    StrFormat("No %s answers on %s: is it switched on and the cable in?", kModelName, port.c_str())};
        case RadioState::kBootLoader:
            return {state, StrFormat("%s boot loader", kModelName), model.WaitingForLoadText()};
        case RadioState::kRunning:
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
    return {state, text, StrFormat("%s found on %s", kModelName, PortAndSpeed(model).c_str())};
}

std::string RadioActionBlocker(const CModel& model, RadioNeed need) {
    const std::string port = model.portName.Get();
    switch (RadioStateOf(model)) {
        case RadioState::kPortClosed:
            return port.empty() ? std::string("Needs the radio: no serial port is chosen (Port page)")
                                : StrFormat("Needs the radio: serial port %s is closed (Port page)", port.c_str());
        case RadioState::kNoRadio:
            return StrFormat("Needs the radio: no %s answers on %s", kModelName, port.c_str());
        case RadioState::kBootLoader:
            return need == RadioNeed::kAnswer
                       ? std::string()
                       : StrFormat(
                             "Needs the radio's firmware: the %s waits in its boot loader for a firmware load "
                             "(Firmware page)",
                             kModelName);
        case RadioState::kRunning:
            break;
    }
    return std::string();
}

}  // namespace rm7
