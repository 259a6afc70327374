#include "model/radio_presence.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "model/firmware_version.h"
#include "platform/manual_pump.h"

namespace rm7 {
namespace {

using ::testing::HasSubstr;
using ::testing::IsEmpty;

struct Radio {
    const char* name;
    const char* port;
    PortState portState;
    FirmwareStatusEnum firmware;
    RadioPresence state;
    const char* indicator;      // the indicator's text
    const char* withoutAnswer;  // the reason given for an action that needs any answer; "" none
    const char* withoutFirmware;
};

const Radio kRadios[] = {
    {"no port chosen", "", kPortClosed, kFirmwareNone, RadioPresence::kPortClosed, "Port closed",
     "no serial port is chosen", "no serial port is chosen"},
    {"port closed", "/dev/ttyUSB0", kPortClosed, kFirmwareNone, RadioPresence::kPortClosed, "Port closed",
     "serial port /dev/ttyUSB0 is closed", "serial port /dev/ttyUSB0 is closed"},
    // A firmware status left over from before the port closed must not count.
    {"closed, stale status", "/dev/ttyUSB0", kPortClosed, kFirmwareRunning, RadioPresence::kPortClosed, "Port closed",
     "is closed", "is closed"},
    {"silent radio", "/dev/ttyUSB0", kPortOpen, kFirmwareNone, RadioPresence::kNoRadio, "No radio",
     "no RM7 answers on /dev/ttyUSB0", "no RM7 answers on /dev/ttyUSB0"},
    {"boot loader", "/dev/ttyUSB0", kPortOpen, kFirmwareBootLoader, RadioPresence::kBootLoader, "RM7 boot loader", "",
     "boot loader"},
    {"firmware", "/dev/ttyUSB0", kPortOpen, kFirmwareRunning, RadioPresence::kRunning,
     "RM7 S/N 00300 MCU 01.23 DSP 02.05", "", ""},
};

TEST(RadioPresenceTest, IndicatorAndActionsFollowPortAndFirmware) {
    for (const Radio& r : kRadios) {
        SCOPED_TRACE(r.name);
        CManualPump pump;
        CModel model(pump);
        model.portName.Set(r.port);
        model.portState.Set(r.portState);
        model.serialSpeed.Update(38400);
        model.firmwareStatus.Set(r.firmware);
        model.serialNumber.Set(300);
        model.firmwareVersions.Set(0, 123);
        model.firmwareVersions.Set(1, 205);

        EXPECT_EQ(RadioPresenceOf(model), r.state);
        const RadioIndicator indicator = RadioIndicatorOf(model);
        EXPECT_EQ(indicator.presence, r.state);
        EXPECT_EQ(indicator.text, r.indicator);
        EXPECT_THAT(indicator.toolTip, ::testing::Not(IsEmpty()));
        for (const auto& [need, reason] :
             {std::pair{RadioNeed::kAnswer, r.withoutAnswer}, std::pair{RadioNeed::kFirmware, r.withoutFirmware}}) {
            const std::string blocker = RadioActionBlocker(model, need);
            if (*reason == '\0') {
                EXPECT_THAT(blocker, IsEmpty());
            } else {
                EXPECT_THAT(blocker, HasSubstr(reason));
            }
        }
    }
}

TEST(RadioPresenceTest, IndicatorLeavesOutWhatTheRadioDidNotTell) {
    CManualPump pump;
    CModel model(pump);
    model.portName.Set("/dev/ttyUSB0");
    model.portState.Set(kPortOpen);
    model.serialSpeed.Update(9600);
    model.firmwareStatus.Set(kFirmwareRunning);
    model.firmwareVersions.Set(0, 123);
    for (const std::uint16_t dsp : {kVersionNotRead, kVersionNotAvailable, kVersionLoading}) {
        model.firmwareVersions.Set(1, dsp);
        EXPECT_EQ(RadioIndicatorOf(model).text, "RM7 MCU 01.23");  // no serial number read either
    }
    EXPECT_THAT(RadioIndicatorOf(model).toolTip, HasSubstr("/dev/ttyUSB0 at 9600 bit/s"));
    model.portState.Set(kPortClosed);
    EXPECT_THAT(RadioIndicatorOf(model).toolTip, HasSubstr("/dev/ttyUSB0 is closed"));
}

}  // namespace
}  // namespace rm7
