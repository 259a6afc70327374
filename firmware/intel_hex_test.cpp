#include "firmware/intel_hex.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "platform/last_error.h"
#include "platform/result_codes.h"
#include "tests/support/firmware_files.h"
#include "tests/support/temp_folder.h"

namespace rm7 {
namespace {

using test::kEofRecord;
using test::Record;

std::span<const std::uint8_t> Bytes(const std::string& text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

struct BrokenCase {
    const char* name;
    std::string text;
    Result code;
    std::uint32_t line;
};

TEST(IntelHexReader, RefusesBrokenRecordsWithTheirLine) {
    const std::string good = Record(kHexData, 0, {1, 2}) + "\n";
    const std::string eof = std::string(kEofRecord) + "\n";
    const BrokenCase cases[] = {
        {"checksum", good + Record(kHexData, 2, {3}, 1) + "\n" + eof, kErrHexLineChecksum, 2},
        {"non-hex digit", good + good + ":01000200G1FC\n" + eof, kErrUnexpectedHexCharacter, 3},
        {"record type 6", good + Record(6, 0, {}) + "\n" + eof, kErrHexRecordType, 2},
        {"checksum tested before type", Record(7, 0, {}, 1) + "\n" + eof, kErrHexLineChecksum, 1},
        {"no end-of-file record", good + good, kErrHexNoEof, 3},
        {"empty text", "", kErrHexNoEof, 1},
        // No record may go unread: from the first record on, a line is a record or blank.
        {"a line of text between records", good + "built 2024-01-31\r\n" + good + eof, kErrHexNoColon, 2},
        {"a record that lost its colon between records", good + Record(kHexData, 2, {3}).substr(1) + "\n" + good + eof,
         kErrHexNoColon, 2},
        {"a header, then text between records", "Firmware: test build\n" + good + "note\n" + good + eof, kErrHexNoColon,
         3},
        {"a record that lost its colon under the header",
         "Firmware: test build\n" + Record(kHexData, 2, {3}).substr(1) + "\n" + good + eof, kErrHexNoColon, 2},
        {"an indented record before the first", " \t" + good + eof, kErrHexNoColon, 1},
        {"a record behind header text on its line", "Image " + good + eof, kErrHexNoColon, 1},
        {"two byte-order marks before the first record", "\xEF\xBB\xBF\xEF\xBB\xBF" + good + eof, kErrHexNoColon, 1},
        {"a record not at its line's start", good + "  " + eof, kErrHexNoColon, 2},
        {"text after a record", Record(kHexData, 0, {1}) + " ; first\n" + eof, kErrHexNoColon, 1},
        {"two records on one line", Record(kHexData, 0, {1}) + Record(kHexData, 1, {2}) + "\n" + eof, kErrHexNoColon,
         1},
        {"a byte-order mark not at the start", good + "\xEF\xBB\xBF" + good + eof, kErrHexNoColon, 2},
        {"record cut by end of text", good + ":1000000001", kErrUnexpectedHexCharacter, 2},
        {"record runs into the next line", ":0400000001\n" + eof, kErrUnexpectedHexCharacter, 2},
        {"linear address of one byte", Record(kHexExtendedLinearAddress, 0, {1}) + "\n" + eof, kErrHexDataLength, 1},
        {"segment address of no bytes", good + Record(kHexExtendedSegmentAddress, 0, {}) + "\n" + eof,
         kErrHexDataLength, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CIntelHexReader reader;
        reader.Attach(Bytes(c.text));
        SetLastError(kOk);
        EXPECT_EQ(reader.ReadPass(), c.code);
        EXPECT_EQ(GetLastError(), c.code);
        EXPECT_EQ(reader.Line(), c.line);
    }
}

TEST(IntelHexReader, ReadsTheSameRecordsInEveryLayout) {
    const std::string r1 = Record(kHexData, 0x100, {0x01, 0x02, 0xAB, 0xCD});
    const std::string r2 = Record(kHexData, 0x104, {0xEF, 0x10});
    const std::string eof(kEofRecord);
    std::string lower = r1 + "\n" + r2 + "\n" + eof + "\n";
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
    const struct {
        const char* name;
        std::string text;
    } layouts[] = {
        {"LF", r1 + "\n" + r2 + "\n" + eof + "\n"},
        {"CR LF", r1 + "\r\n" + r2 + "\r\n" + eof + "\r\n"},
        {"CR", r1 + "\r" + r2 + "\r" + eof},
        {"lower case", lower},
        {"blank lines and blanks after records", "\n\r\n \t\n" + r1 + " \t\n\n" + r2 + "\r\n\t\r\n" + eof},
        {"a byte-order mark first", "\xEF\xBB\xBF" + r1 + "\r\n" + r2 + "\r\n" + eof + "\r\n"},
        {"records split inside and between bytes",
         r1.substr(0, 4) + "\r\n" + r1.substr(4, 5) + "\n\n" + r1.substr(9) + "\n" + r2 + "\n" + eof},
        {"anything after the end-of-file record", r1 + "\n" + r2 + "\n" + eof + "\n:GARBAGE\n"},
        // A header before the first record is no record, whatever it holds.
        {"a header line", "Firmware: test build\n" + r1 + "\n" + r2 + "\n" + eof},
        {"a header of lines with colons and blank lines",
         "\r\nBuilt: 2024-01-31 12:00:00\r\n\r\n  target : RM7 : MCU\r\n\r\n" + r1 + "\r\n" + r2 + "\r\n" + eof},
        {"a header of hex digits that are no record", "0123456789\nDEADBEEF00\n" + r1 + "\n" + r2 + "\n" + eof},
        {"a header after a byte-order mark", "\xEF\xBB\xBF; image\r\n" + r1 + "\r\n" + r2 + "\r\n" + eof},
        {"a second byte-order mark on a line of its own", "\xEF\xBB\xBF\xEF\xBB\xBF\n" + r1 + "\n" + r2 + "\n" + eof},
    };
    for (const auto& layout : layouts) {
        SCOPED_TRACE(layout.name);
        CIntelHexReader reader;
        reader.Attach(Bytes(layout.text));
        ASSERT_EQ(reader.ReadPass(), kOk);
        EXPECT_TRUE(reader.HasData());
        EXPECT_EQ(reader.Lowest(), 0x100u);
        EXPECT_EQ(reader.Highest(), 0x106u);

        std::vector<std::uint8_t> image(6, 0xFF);
        reader.SetCopyWindow(0x100, 0x106, image);
        ASSERT_EQ(reader.ReadPass(), kOk);
        EXPECT_EQ(image, (std::vector<std::uint8_t>{0x01, 0x02, 0xAB, 0xCD, 0xEF, 0x10}));
    }
}

TEST(IntelHexReader, AddsTheExtendedBaseAndIgnoresStartAddresses) {
    const std::string text = Record(kHexData, 0x0010, {1}) + "\n" +                                 // 0x10
                             Record(kHexExtendedSegmentAddress, 0, {0x10, 0x00}) + "\n" +           //
                             Record(kHexStartSegmentAddress, 0, {0x12, 0x34, 0x56, 0x78}) + "\n" +  //
                             Record(kHexData, 0x0010, {2}) + "\n" +                                 // 0x10010
                             Record(kHexExtendedSegmentAddress, 0, {0xFF, 0xFF}) + "\n" +           //
                             Record(kHexData, 0xFFFF, {3}) + "\n" +                                 // 0x10FFEF
                             Record(kHexExtendedLinearAddress, 0, {0x12, 0x34}) + "\n" +            //
                             Record(kHexStartLinearAddress, 0, {0, 0, 0, 0}) + "\n" +               //
                             Record(kHexData, 0x5678, {4}) + "\n" +                                 // 0x12345678
                             std::string(kEofRecord) + "\n";
    CIntelHexReader reader;
    reader.Attach(Bytes(text));
    for (int pass = 0; pass < 2; ++pass) {  // a rewind starts again from base 0
        reader.Rewind();
        std::vector<std::uint32_t> addresses;
        while (reader.ReadRecord() && !reader.AtEndOfFile()) {
            ASSERT_EQ(reader.RecordType(), kHexData);
            addresses.push_back(reader.RecordAddress());
        }
        EXPECT_TRUE(reader.AtEndOfFile());
        EXPECT_EQ(addresses, (std::vector<std::uint32_t>{0x10, 0x10010, 0x10FFEF, 0x12345678}));
    }
}

TEST(IntelHexReader, CopiesOnlyRecordsThatStartInsideTheWindow) {
    std::vector<std::uint8_t> first(32, 0x11);
    std::vector<std::uint8_t> last(32, 0x22);
    const std::string text = Record(kHexData, 0x07F0, first) + "\n" +         // starts below: dropped whole
                             Record(kHexData, 0x0900, {1, 2, 3, 4}) + "\n" +  //
                             Record(kHexExtendedLinearAddress, 0, {0x00, 0x01}) + "\n" +
                             Record(kHexData, 0xFD70, last) + "\n" +  // cut after 16 bytes
                             Record(kHexData, 0xFD80, {9}) + "\n" +   // at the high address: dropped
                             std::string(kEofRecord) + "\n";
    std::vector<std::uint8_t> image(0x1FD80 - 0x800, 0xFF);
    CIntelHexReader reader;
    reader.Attach(Bytes(text));
    reader.SetCopyWindow(0x800, 0x1FD80, image);
    ASSERT_EQ(reader.ReadPass(), kOk);

    std::vector<std::uint8_t> expected(image.size(), 0xFF);
    std::copy_n(std::vector<std::uint8_t>{1, 2, 3, 4}.begin(), 4, expected.begin() + 0x100);
    std::fill(expected.end() - 16, expected.end(), 0x22);
    EXPECT_EQ(image, expected);
    EXPECT_EQ(reader.CopiedBytes(), 4u + 16u);
    EXPECT_EQ(reader.DroppedBytes(), 32u + 16u + 1u);
}

// Two records for the same byte are fine when they agree; when they do not, which one the
// firmware's author meant is unknown, whatever value the first one wrote (0xFF too).
TEST(IntelHexReader, RefusesARecordThatChangesBytesAnEarlierOneCopied) {
    const std::vector<std::uint8_t> ten(10, 0x5A);
    std::vector<std::uint8_t> word(64, 0x5A);  // covers bit word 0 of the window only
    const struct {
        const char* name;
        std::vector<std::string> records;  // one a line, in file order
        Result code;
        std::uint32_t line;
    } cases[] = {
        {"same bytes twice", {Record(kHexData, 0x100, {1, 2, 3, 4}), Record(kHexData, 0x102, {3, 4})}, kOk, 0},
        {"out of order without overlap", {Record(kHexData, 0x104, {5}), Record(kHexData, 0x100, {1, 2, 3, 4})}, kOk, 0},
        {"one byte differs", {Record(kHexData, 0x100, {1, 2, 3, 4}), Record(kHexData, 0x103, {9})}, kErrHexOverlap, 2},
        {"0xFF given, then another value",
         {Record(kHexData, 0x100, {0xFF}), Record(kHexData, 0x101, {1}), Record(kHexData, 0x100, {0})},
         kErrHexOverlap,
         3},
        {"across a word of the record map", {Record(kHexData, 0x100 + 60, ten), Record(kHexData, 0x100, word)}, kOk, 0},
        {"differs in the last byte of a word",
         {Record(kHexData, 0x100 + 60, ten), Record(kHexData, 0x100,
                                                    [&] {
                                                        auto w = word;
                                                        w[63] = 0;
                                                        return w;
                                                    }())},
         kErrHexOverlap,
         2},
        {"dropped records are not compared", {Record(kHexData, 0x10, {1}), Record(kHexData, 0x10, {2})}, kOk, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string text;
        for (const std::string& record : c.records) {
            text += record + "\r\n";
        }
        text += std::string(kEofRecord) + "\r\n";
        std::vector<std::uint8_t> image(0x200, 0xFF);
        CIntelHexReader reader;
        reader.Attach(Bytes(text));
        reader.SetCopyWindow(0x100, 0x300, image);
        for (int pass = 0; pass < 2; ++pass) {  // a rewind forgets what the last pass copied
            std::fill(image.begin(), image.end(), 0xFF);
            EXPECT_EQ(reader.ReadPass(), c.code);
            if (c.code != kOk) {
                EXPECT_EQ(reader.Line(), c.line);
            }
        }
    }
}

TEST(IntelHexReader, ScanStopsAtTheRecordThatWidensTheSpanTooFar) {
    const std::string text = Record(kHexData, 0x0000, {1}) + "\n" + Record(kHexData, 0x0FFF, {2}) + "\n" +
                             Record(kHexData, 0x1000, {3}) + "\n" + std::string(kEofRecord) + "\n";
    CIntelHexReader reader;
    reader.Attach(Bytes(text));
    reader.SetScanMode(0x1000);
    EXPECT_EQ(reader.ReadPass(), kErrImageTooLarge);
    EXPECT_EQ(reader.Line(), 3u);

    reader.SetScanMode(0x1001);
    EXPECT_EQ(reader.ReadPass(), kOk);
    EXPECT_EQ(reader.Highest(), 0x1001u);
}

TEST(IntelHexReader, CountsLinesPastSixteenBits) {
    std::string text;
    const std::string good = Record(kHexData, 0, {0}) + "\r\n";
    for (int i = 0; i < 70000; ++i) {
        text += good;
    }
    text += Record(kHexData, 0, {0}, 1) + "\r\n";
    CIntelHexReader reader;
    reader.Attach(Bytes(text));
    EXPECT_EQ(reader.ReadPass(), kErrHexLineChecksum);
    EXPECT_EQ(reader.Line(), 70001u);
}

// The reader holds the text it opened: another process that shortens or rewrites the file
// afterwards changes nothing (a mapped file would end this process with SIGBUS).
TEST(IntelHexReader, ReadsWhatItOpenedWhateverHappensToTheFileLater) {
    test::CTempFolder dir;
    const auto data = test::RandomBytes(100000, 8);
    const auto file = dir / "fdsp0100.hex";
    test::WriteFile(file, FormatIntelHex(data, 0x1000));
    CIntelHexReader reader;
    ASSERT_EQ(reader.Open(file), kOk);
    std::filesystem::resize_file(file, 0);
    ASSERT_EQ(reader.ReadPass(), kOk);
    EXPECT_EQ(reader.Highest(), 0x1000u + data.size());
    test::WriteFile(file, "rewritten");
    std::vector<std::uint8_t> back(data.size(), 0xFF);
    reader.SetCopyWindow(0x1000, 0x1000 + data.size(), back);
    ASSERT_EQ(reader.ReadPass(), kOk);
    EXPECT_EQ(back, data);
}

TEST(IntelHexReader, OpenRefusesWhatItCannotOrNeedNotRead) {
    test::CTempFolder dir;
    const auto big = dir / "fdsp0100.hex";
    test::WriteFile(big, "");
    std::filesystem::resize_file(big, kMaxHexFileSize + 1);  // sparse: nothing is written
    const struct {
        std::filesystem::path path;
        Result code;
    } cases[] = {
        {dir / "absent.hex", kErrorFileNotFound},
        {dir.Path(), kErrorDirectoryNotSupported},
        {"/dev/zero", kErrorNotSupported},  // a device is never waited on nor read for ever
        {big, kErrImageTooLarge},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path.string());
        CIntelHexReader reader;
        EXPECT_EQ(reader.Open(c.path), c.code);
        EXPECT_EQ(reader.ReadPass(), kErrHexNoEof) << "nothing is left to read";
    }
}

TEST(FormatIntelHex, WritesRecordsThatReadBackTheSame) {
    const struct {
        std::uint32_t address;
        std::size_t size;
        unsigned perRecord;
    } cases[] = {
        {0x800, 1000, 16},
        {0xFFE0, 100, 32},        // crosses a 64 KiB boundary mid-record
        {0x3FFF0, 0x20010, 255},  // several upper-address changes
        {0xFFFFFF00, 256, 255},   // ends exactly at 2^32
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.address);
        const auto data = test::RandomBytes(c.size, c.address);
        const std::string text = FormatIntelHex(data, c.address, c.perRecord);
        CIntelHexReader reader;
        reader.Attach(Bytes(text));
        while (reader.ReadRecord() && !reader.AtEndOfFile()) {
            EXPECT_LE(reader.RecordData().size(), c.perRecord);
            EXPECT_LE((reader.RecordAddress() & 0xFFFF) + reader.RecordData().size(), 0x10000u);
        }
        ASSERT_TRUE(reader.AtEndOfFile());
        ASSERT_EQ(reader.ReadPass(), kOk);
        EXPECT_EQ(reader.Lowest(), c.address);
        EXPECT_EQ(reader.Highest(), std::uint64_t{c.address} + c.size);

        // A copy window's high address is 32 bits, so the very top byte cannot be copied.
        const std::uint64_t end = std::uint64_t{c.address} + c.size;
        std::vector<std::uint8_t> back(c.size, 0xFF);
        reader.SetCopyWindow(c.address, static_cast<std::uint32_t>(std::min<std::uint64_t>(end, 0xFFFFFFFF)), back);
        ASSERT_EQ(reader.ReadPass(), kOk);
        EXPECT_TRUE(std::equal(back.begin(), back.end() - (end >> 32), data.begin()));
    }
    EXPECT_EQ(FormatIntelHex(test::RandomBytes(257, 1), 0xFFFFFF00), "");
}

}  // namespace
}  // namespace rm7
