#include "firmware/firmware_image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "firmware/intel_hex.h"
#include "platform/last_error.h"
#include "platform/result_codes.h"
#include "tests/support/firmware_files.h"
#include "tests/support/temp_folder.h"

namespace rm7 {
namespace {

using test::kEofRecord;
using test::Quote;
using test::Record;

constexpr std::uint32_t kMcuSize = kMcuHighAddress - kMcuLowAddress;

std::uint16_t WordSum(std::span<const std::uint8_t> bytes) {
    std::uint16_t sum = 0;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        sum = static_cast<std::uint16_t>(sum + (bytes[i] << 8) + bytes[i + 1]);
    }
    return sum;
}

bool LoadMcu(CFirmwareImage& image, const std::filesystem::path& file) {
    return image.Load(file, kMcuLowAddress, kMcuHighAddress, kMcuBlockSize);
}

bool LoadDsp(CFirmwareImage& image, const std::filesystem::path& file) {
    return image.Load(file, kRangeFromFileLow, kRangeFromFileHigh, kDspChunkSize);
}

// Hex files written by GNU objcopy and srecord from random binaries must read into the
// image that objcopy itself makes of them (gaps 0xFF), for both loaders' windows.
TEST(FirmwareImage, ReadsWhatTheHexToolsWrite) {
    ASSERT_EQ(std::string(RM7_OBJCOPY).find("NOTFOUND"), std::string::npos) << "objcopy (binutils) is needed";
    ASSERT_EQ(std::string(RM7_SREC_CAT).find("NOTFOUND"), std::string::npos) << "srec_cat (srecord) is needed";
    const std::string objcopy = Quote(RM7_OBJCOPY);
    const std::string srec = Quote(RM7_SREC_CAT);

    struct Region {
        std::uint32_t address;
        std::size_t size;
    };
    using Command = std::function<std::string(const std::string& in0, const std::string& in1, const std::string& out)>;
    auto srecCat = [&](const char* options, const char* filter = "") -> Command {
        return [=](const std::string& in0, const std::string&, const std::string& out) {
            return srec + " " + in0 + " -binary -offset 0x800 -o - -intel " + options + filter + " > " + out;
        };
    };
    const struct {
        const char* name;
        std::vector<Region> regions;
        Command command;
    } cases[] = {
        {"objcopy, segment addresses and a start address",
         {{0x800, kMcuSize}},
         [&](const std::string& in0, const std::string&, const std::string& out) {
             return objcopy + " -I binary -O ihex --change-addresses 0x800 --set-start 0x800 " + in0 + " " + out;
         }},
        {"objcopy, data past both ends of the MCU window",
         {{0x700, kMcuSize + 0x203}},
         [&](const std::string& in0, const std::string&, const std::string& out) {
             return objcopy + " -I binary -O ihex --change-addresses 0x700 " + in0 + " " + out;
         }},
        {"srec_cat, 16-byte records, linear addresses", {{0x800, 0x10000 + 123}}, srecCat("-line-length=44")},
        {"srec_cat, 32-byte records, segment addresses", {{0x800, kMcuSize}}, srecCat("-address-length=3")},
        {"srec_cat, 16-bit addresses only", {{0x800, 0x8000}}, srecCat("-address-length=2 -line-length=44")},
        {"srec_cat, lower-case digits", {{0x800, 0x11000}}, srecCat("", " | tr A-F a-f")},
        {"srec_cat, CR LF line ends", {{0x800, 0x11000}}, srecCat("-line-length=44", " | sed 's/$/\\r/'")},
        {"srec_cat, a gap between two regions",
         {{0x800, 0x1234}, {0x12000, 0x3001}},
         [&](const std::string& in0, const std::string& in1, const std::string& out) {
             return srec + " " + in0 + " -binary -offset 0x800 " + in1 + " -binary -offset 0x12000 -o " + out +
                    " -intel";
         }},
    };

    test::CTempFolder dir;
    std::uint32_t seed = 1;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string inputs[2];
        for (std::size_t i = 0; i < c.regions.size(); ++i) {
            auto file = dir / ("in" + std::to_string(i) + ".bin");
            test::WriteFile(file, test::RandomBytes(c.regions[i].size, seed++));
            inputs[i] = Quote(file);
        }
        const auto hex = dir / "firmware.hex";
        const auto flat = dir / "objcopy.bin";
        ASSERT_TRUE(test::Run(c.command(inputs[0], inputs[1], Quote(hex))));
        ASSERT_TRUE(test::Run(objcopy + " --gap-fill 0xFF -I ihex -O binary " + Quote(hex) + " " + Quote(flat)));
        const std::vector<std::uint8_t> expected = test::ReadFile(flat);
        const std::uint32_t low = c.regions.front().address;
        ASSERT_EQ(expected.size(), c.regions.back().address + c.regions.back().size - low);

        CFirmwareImage dsp;
        ASSERT_TRUE(LoadDsp(dsp, hex)) << std::hex << GetLastError();
        EXPECT_EQ(dsp.LowAddress(), low);
        EXPECT_EQ(dsp.HighAddress(), low + expected.size());
        EXPECT_TRUE(std::ranges::equal(dsp.Bytes(), expected));

        std::vector<std::uint8_t> window(kMcuSize, 0xFF);
        for (std::uint32_t a = std::max(low, kMcuLowAddress);
             a < std::min<std::uint64_t>(low + expected.size(), kMcuHighAddress); ++a) {
            window[a - kMcuLowAddress] = expected[a - low];
        }
        CFirmwareImage mcu;
        ASSERT_TRUE(LoadMcu(mcu, hex)) << std::hex << GetLastError();
        EXPECT_EQ(mcu.Size(), kMcuSize);
        EXPECT_TRUE(std::ranges::equal(mcu.Bytes(), window));
    }
}

TEST(FirmwareImage, FailedLoadLeavesNothingAndTellsWhy) {
    test::CTempFolder dir;
    const std::string eof = std::string(kEofRecord) + "\n";
    test::WriteFile(dir / "empty.hex", "");
    test::WriteFile(dir / "good.hex", Record(kHexData, 0x800, {1}) + "\n" + eof);
    test::WriteFile(dir / "checksum.hex",
                    Record(kHexData, 0x800, {1}) + "\n\n" + Record(kHexData, 0x801, {2}, 1) + "\n" + eof);
    // Some 60 bytes asking for 4 GiB.
    test::WriteFile(dir / "wide.hex", Record(kHexData, 0, {1}) + "\n" +
                                          Record(kHexExtendedLinearAddress, 0, {0xFF, 0xFF}) + "\n" +
                                          Record(kHexData, 0xFF00, {2}) + "\n" + eof);
    std::filesystem::create_directory(dir / "folder.hex");

    const struct {
        const char* name;
        const char* file;
        std::uint32_t low;
        std::uint32_t high;
        Result code;
        std::uint32_t line;
    } cases[] = {
        {"missing file", "absent.hex", kMcuLowAddress, kMcuHighAddress, kErrorFileNotFound, 0},
        {"folder", "folder.hex", kMcuLowAddress, kMcuHighAddress, kErrorDirectoryNotSupported, 0},
        {"empty file", "empty.hex", kMcuLowAddress, kMcuHighAddress, kErrHexNoEof, 1},
        {"record error, MCU", "checksum.hex", kMcuLowAddress, kMcuHighAddress, kErrHexLineChecksum, 3},
        {"record error, DSP", "checksum.hex", kRangeFromFileLow, kRangeFromFileHigh, kErrHexLineChecksum, 3},
        {"span beyond the radio", "wide.hex", kRangeFromFileLow, kRangeFromFileHigh, kErrImageTooLarge, 3},
        {"window beyond the radio", "checksum.hex", 0, kMaxImageSpan + 1, kErrImageTooLarge, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CFirmwareImage image;
        ASSERT_TRUE(LoadDsp(image, dir / "good.hex"));  // what was there before must go
        SetLastError(kOk);
        EXPECT_FALSE(image.Load(dir / c.file, c.low, c.high, kMcuBlockSize));
        EXPECT_EQ(GetLastError(), c.code);
        EXPECT_EQ(image.Line(), c.line);
        EXPECT_FALSE(image.Loaded());
        EXPECT_EQ(image.Size(), 0u);
        EXPECT_TRUE(image.Bytes().empty());
        EXPECT_EQ(image.FileName(), dir / c.file);
    }
}

TEST(FirmwareImage, McuImageIsTheWholeWindowFilledWithFF) {
    test::CTempFolder dir;
    const auto file = dir / "fmcu0100.hex";
    test::WriteFile(file, Record(kHexData, 0x0900, {0xA1, 0xA2, 0xA3}) + "\n" +
                              Record(kHexExtendedLinearAddress, 0, {0x00, 0x01}) + "\n" +
                              Record(kHexData, 0xFD7E, {0xB1, 0xB2}) + "\n" + std::string(kEofRecord) + "\n");
    CFirmwareImage image;
    ASSERT_TRUE(LoadMcu(image, file));
    EXPECT_TRUE(image.Loaded());
    EXPECT_EQ(image.Line(), 4u);
    EXPECT_EQ(image.LowAddress(), kMcuLowAddress);
    EXPECT_EQ(image.HighAddress(), kMcuHighAddress);
    EXPECT_EQ(image.Size(), kMcuSize);
    EXPECT_EQ(image.AllocatedSize(), kMcuSize);
    EXPECT_EQ(std::ranges::count(image.Bytes(), 0xFF), kMcuSize - 5);
    EXPECT_EQ(image.ByteAt(0x902), 0xA3);
    EXPECT_EQ(image.ByteAt(0x1FD7F), 0xB2);
    EXPECT_EQ(image.ByteAt(0x7FF), std::nullopt);
    EXPECT_EQ(image.ByteAt(kMcuHighAddress), std::nullopt);
}

TEST(FirmwareImage, DspImageCoversExactlyTheFileWithGapsFilled) {
    test::CTempFolder dir;
    const std::string eof = std::string(kEofRecord) + "\n";
    test::WriteFile(dir / "gap.hex",
                    Record(kHexData, 0x0005, {1, 2}) + "\n" + Record(kHexData, 0x000A, {3}) + "\n" + eof);
    test::WriteFile(dir / "eof-only.hex", eof);

    CFirmwareImage image;
    ASSERT_TRUE(LoadDsp(image, dir / "gap.hex"));
    EXPECT_EQ(image.LowAddress(), 5u);
    EXPECT_EQ(image.HighAddress(), 11u);
    EXPECT_TRUE(std::ranges::equal(image.Bytes(), std::vector<std::uint8_t>{1, 2, 0xFF, 0xFF, 0xFF, 3}));
    EXPECT_EQ(image.AllocatedSize(), kDspChunkSize);  // the minimum size, not the 6 bytes

    ASSERT_TRUE(LoadDsp(image, dir / "eof-only.hex"));
    EXPECT_TRUE(image.Loaded());
    EXPECT_EQ(image.Size(), 0u);
    EXPECT_EQ(image.LowAddress(), image.HighAddress());

    // A wider cap lets a big image through; the allocation is rounded up to 4.
    test::WriteFile(dir / "big.hex", FormatIntelHex(test::RandomBytes(kMaxImageSpan + 1, 3), 0x100000));
    EXPECT_FALSE(LoadDsp(image, dir / "big.hex"));
    EXPECT_EQ(GetLastError(), kErrImageTooLarge);
    image.SetMaxSpan(kMaxImageSpan + 1);
    ASSERT_TRUE(LoadDsp(image, dir / "big.hex"));
    EXPECT_EQ(image.Size(), kMaxImageSpan + 1);
    EXPECT_EQ(image.AllocatedSize(), kMaxImageSpan + 4);
}

// An MCU file holding `image` (the whole window).
std::filesystem::path WriteMcu(const test::CTempFolder& dir, const std::vector<std::uint8_t>& image) {
    auto file = dir / "fmcu0254.hex";
    test::WriteFile(file, FormatIntelHex(image, kMcuLowAddress));
    return file;
}

// Makes the word sum of `image` zero by changing the word at `offset`.
void ZeroTheSum(std::vector<std::uint8_t>& image, std::size_t offset) {
    image[offset] = image[offset + 1] = 0;
    const auto fix = static_cast<std::uint16_t>(0x10000 - WordSum(image));
    image[offset] = static_cast<std::uint8_t>(fix >> 8);
    image[offset + 1] = static_cast<std::uint8_t>(fix & 0xFF);
}

void AddToWord(std::vector<std::uint8_t>& image, std::size_t offset, std::uint16_t delta) {
    const auto word = static_cast<std::uint16_t>((image[offset] << 8) + image[offset + 1] + delta);
    image[offset] = static_cast<std::uint8_t>(word >> 8);
    image[offset + 1] = static_cast<std::uint8_t>(word & 0xFF);
}

TEST(ReconcileChecksum, ChecksOrCompletesTheReconciliationWord) {
    test::CTempFolder dir;
    const std::string prefix =
        "MCU firmware file " + (dir / "fmcu0254.hex").string() + " checksum reconciliation value is ";

    auto storedAndSummed = test::RandomBytes(kMcuSize, 7);
    storedAndSummed[0] = 0x34;
    storedAndSummed[1] = 0x12;
    ZeroTheSum(storedAndSummed, 0x100);
    auto storedNotSummed = storedAndSummed;
    AddToWord(storedNotSummed, 0x2000, 0x100);
    auto zeroAndSummed = storedAndSummed;
    zeroAndSummed[0] = zeroAndSummed[1] = 0;
    ZeroTheSum(zeroAndSummed, 0x100);
    std::vector<std::uint8_t> zeroNotSummed(kMcuSize, 0xFF);  // a file that leaves 0x802 on blank
    zeroNotSummed[0] = zeroNotSummed[1] = 0;

    const struct {
        const char* name;
        std::vector<std::uint8_t> image;
        Result result;
        ReconciliationOutcome outcome;
        std::vector<std::string> log;
        std::uint8_t first;
        std::uint8_t second;
    } cases[] = {
        {"value stored, sums to zero",
         storedAndSummed,
         kOk,
         ReconciliationOutcome::Verified,
         {prefix + "0x1234"},
         0x34,
         0x12},
        {"value stored, sum not zero",
         storedNotSummed,
         kErrHexImageChecksum,
         ReconciliationOutcome::Corrupt,
         {prefix + "0x1234", "File does not checksum to zero. Checksum is 0x100"},
         0x34,
         0x12},
        {"no value, sums to zero",
         zeroAndSummed,
         kOk,
         ReconciliationOutcome::ZeroValue,
         {prefix + "0x0",
          "Checksum reconciliation value is zero; alert Tarnwell\r\n\r\nNote: A zero checksum reconciliation value "
          "should occur only during firmware development."},
         0,
         0},
        // 64191 words of 0xFFFF sum to 0x0541; 0xFABF, high byte first, brings that to zero.
        {"no value, sum not zero",
         zeroNotSummed,
         kOk,
         ReconciliationOutcome::Computed,
         {prefix + "0x0", "MCU computed checksum reconciliation value is 0xBFFA"},
         0xFA,
         0xBF},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CFirmwareImage image;
        ASSERT_TRUE(LoadMcu(image, WriteMcu(dir, c.image)));
        EXPECT_EQ(AnalyseReconciliation(image).outcome, c.outcome);
        std::vector<std::string> log;
        EXPECT_EQ(ReconcileChecksum(image, [&](const std::string& line) { log.push_back(line); }), c.result);
        EXPECT_EQ(log, c.log);
        EXPECT_EQ(image.Bytes()[0], c.first);
        EXPECT_EQ(image.Bytes()[1], c.second);
        EXPECT_EQ(WordSum(image.Bytes()) == 0, c.result == kOk);
        EXPECT_TRUE(std::equal(image.Bytes().begin() + 2, image.Bytes().end(), c.image.begin() + 2));
    }

    CFirmwareImage unloaded;
    EXPECT_EQ(ReconcileChecksum(unloaded, [](const std::string&) {}), kErrHexImageChecksum);
}

}  // namespace
}  // namespace rm7
