#include "firmware/file_version.h"

#include <gtest/gtest.h>

#include "platform/result_codes.h"

namespace rm7 {
namespace {

TEST(FileVersion, ReadsTheLastRunOfDigitsBeforeTheExtension) {
    const struct {
        const char* path;
        std::uint16_t version;
    } cases[] = {
        {"fmcu0254.hex", 254},
        {"FDSP0121.HEX", 121},
        {"/home/op/fw2019/fmcu0260.hex", 260},  // the folder's digits are not the version
        {"fmcu.hex", 0},
        {"fmcu12a34.hex", 34},
        {"fmcu0254", 254},
        {"fmcu0254.v2.hex", 2},  // only the last extension is cut
        {"fmcu0254.hex3", 254},
        {"fmcu99999.hex", 34463},                // modulo 65536
        {"fmcu12345678901234567890.hex", 2770},  // no overflow on a long run
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FileVersion(c.path), c.version) << c.path;
    }
}

TEST(FirmwareKindFromName, NeedsThePrefixAndTheHexExtension) {
    const struct {
        const char* path;
        FirmwareKind kind;
    } cases[] = {
        {"fmcu0254.hex", FirmwareKind::Mcu},     {"/x/FMCU0254.HEX", FirmwareKind::Mcu},
        {"fdsp0121.Hex", FirmwareKind::Dsp},     {"fmcu0260.txt", FirmwareKind::Unknown},
        {"ffwnotes.rtf", FirmwareKind::Unknown}, {"xfmcu0254.hex", FirmwareKind::Unknown},
        {"fmcu0254", FirmwareKind::Unknown},     {"fdsp/notes.hex", FirmwareKind::Unknown},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FirmwareKindFromName(c.path), c.kind) << c.path;
    }
}

// A load is verified by the version in the name, and the wrong processor's firmware could
// leave the radio unable to start: both are refused by the name alone.
TEST(CheckFirmwareName, WantsTheProcessorsOwnNameWithAVersion) {
    const struct {
        const char* path;
        FirmwareKind kind;
        Result result;
    } cases[] = {
        {"fmcu0288.hex", FirmwareKind::Mcu, kOk},
        {"/fw/fdsp/FDSP0121.HEX", FirmwareKind::Dsp, kOk},
        {"fmcu0288.hex", FirmwareKind::Dsp, kErrFirmwareNameKind},
        {"fdsp0121.hex", FirmwareKind::Mcu, kErrFirmwareNameKind},
        {"/fw/fmcu/board0288.hex", FirmwareKind::Mcu, kErrFirmwareNameKind},
        {"fmcu0288.txt", FirmwareKind::Mcu, kErrFirmwareNameKind},
        {"fmcu0288.hex", FirmwareKind::Unknown, kErrFirmwareNameKind},
        {"fmcu.hex", FirmwareKind::Mcu, kErrFirmwareNameVersion},
        {"fdsp0000.hex", FirmwareKind::Dsp, kErrFirmwareNameVersion},
        {"fdsp0291.hex", FirmwareKind::Dsp, kOk},
        {"", FirmwareKind::Dsp, kOk},  // no name at all: the open says so
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CheckFirmwareName(c.path, c.kind), c.result) << c.path;
    }
}

}  // namespace
}  // namespace rm7
