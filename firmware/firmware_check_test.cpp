#include "firmware/firmware_check.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "firmware/intel_hex.h"
#include "platform/result_codes.h"
#include "tests/support/firmware_files.h"
#include "tests/support/temp_folder.h"

namespace rm7 {
namespace {

using test::kEofRecord;
using test::Record;

TEST(CheckFirmwareFile, TellsWhatTheLoaderWouldDoWithTheFile) {
    test::CTempFolder dir;
    const std::string eof = std::string(kEofRecord) + "\n";
    // No reconciliation value, and 16 bytes below the MCU window that the loader leaves out.
    std::vector<std::uint8_t> mcu(0x1000, 0xFF);
    mcu[0x10] = mcu[0x11] = 0;
    test::WriteFile(dir / "fmcu0254.hex", FormatIntelHex(mcu, 0x7F0));
    // A stored value with a sum that is not zero.
    test::WriteFile(dir / "fmcu0260.hex", Record(kHexData, 0x800, {0x12, 0x34}) + "\n" + eof);
    test::WriteFile(dir / "FDSP0121.HEX",
                    Record(kHexData, 0x10, {1, 2}) + "\n" + Record(kHexData, 0x20, {3}) + "\n" + eof);
    test::WriteFile(dir / "fdsp0300.hex",
                    Record(kHexData, 0x10, {1}) + "\n" + Record(kHexData, 0x11, {2}, 1) + "\n" + eof);
    test::WriteFile(dir / "fdsp0400.hex", Record(kHexData, 0, {1}) + "\n" +
                                              Record(kHexExtendedLinearAddress, 0, {0x10, 0}) + "\n" +
                                              Record(kHexData, 0, {2}) + "\n" + eof);
    test::WriteFile(dir / "board.hex", Record(kHexData, 0x40, {1}) + "\n" + eof);
    // Nothing the loader would send: no data at all, or none in the MCU window.
    test::WriteFile(dir / "fdsp0500.hex", eof);
    test::WriteFile(dir / "fmcu0270.hex", Record(kHexData, 0x700, {1, 2}) + "\n" + eof);

    const struct {
        const char* file;
        FirmwareKind kind;
        std::uint16_t version;
        Result result;
        std::uint32_t line;
        std::uint32_t imageLow, imageHigh;
        std::uint32_t fileLow;
        std::uint64_t fileHigh;
        std::uint64_t dropped;
        ReconciliationOutcome outcome;
    } cases[] = {
        {"fmcu0254.hex", FirmwareKind::Mcu, 254, kOk, 257, 0x800, 0x1FD80, 0x7F0, 0x17F0, 16,
         ReconciliationOutcome::Computed},
        {"fmcu0260.hex", FirmwareKind::Mcu, 260, kErrHexImageChecksum, 2, 0x800, 0x1FD80, 0x800, 0x802, 0,
         ReconciliationOutcome::Corrupt},
        {"FDSP0121.HEX", FirmwareKind::Dsp, 121, kOk, 3, 0x10, 0x21, 0x10, 0x21, 0, ReconciliationOutcome::NotAnImage},
        {"fdsp0300.hex", FirmwareKind::Dsp, 300, kErrHexLineChecksum, 2, 0, 0, 0, 0, 0,
         ReconciliationOutcome::NotAnImage},
        {"fdsp0400.hex", FirmwareKind::Dsp, 400, kErrImageTooLarge, 3, 0, 0, 0, 0, 0,
         ReconciliationOutcome::NotAnImage},
        // Refused by its name, yet what the file holds is shown.
        {"board.hex", FirmwareKind::Unknown, 0, kErrFirmwareNameKind, 0, 0x40, 0x41, 0x40, 0x41, 0,
         ReconciliationOutcome::NotAnImage},
        {"fdsp0500.hex", FirmwareKind::Dsp, 500, kErrFirmwareImageEmpty, 1, 0, 0, 0, 0, 0,
         ReconciliationOutcome::NotAnImage},
        {"fmcu0270.hex", FirmwareKind::Mcu, 270, kErrFirmwareImageEmpty, 2, 0x800, 0x1FD80, 0x700, 0x702, 2,
         ReconciliationOutcome::NotAnImage},
        {"fmcu0999.hex", FirmwareKind::Mcu, 999, kErrorFileNotFound, 0, 0, 0, 0, 0, 0,
         ReconciliationOutcome::NotAnImage},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const FirmwareFileCheck check = CheckFirmwareFile(dir / c.file);
        EXPECT_EQ(check.kind, c.kind);
        EXPECT_EQ(check.version, c.version);
        EXPECT_EQ(check.result, c.result);
        EXPECT_EQ(check.line, c.line);
        EXPECT_EQ(check.imageRead, c.imageHigh != 0 || c.result == kErrFirmwareImageEmpty);
        EXPECT_EQ(check.imageLow, c.imageLow);
        EXPECT_EQ(check.imageHigh, c.imageHigh);
        EXPECT_EQ(check.imageSize, c.imageHigh - c.imageLow);
        EXPECT_EQ(check.fileHasData, c.fileHigh != 0);
        EXPECT_EQ(check.fileLow, c.fileLow);
        EXPECT_EQ(check.fileHigh, c.fileHigh);
        EXPECT_EQ(check.droppedBytes, c.dropped);
        EXPECT_EQ(check.reconciliation.outcome, c.outcome);
    }

    // The value shown is the one the loader would write in, and it is never zero.
    const FirmwareFileCheck computed = CheckFirmwareFile(dir / "fmcu0254.hex");
    EXPECT_EQ(computed.reconciliation.stored, 0);
    EXPECT_NE(computed.reconciliation.computed, 0);
    EXPECT_NE(computed.reconciliation.sum, 0);
    const auto word = static_cast<std::uint16_t>((computed.reconciliation.computed & 0xFF) << 8 |
                                                 computed.reconciliation.computed >> 8);
    EXPECT_EQ(static_cast<std::uint16_t>(computed.reconciliation.sum + word), 0);
    EXPECT_EQ(CheckFirmwareFile(dir / "fmcu0260.hex").reconciliation.stored, 0x3412);
}

}  // namespace
}  // namespace rm7
