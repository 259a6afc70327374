#pragma once
// Intel-hex records read straight out of the file's text, which is read whole into memory
// first: a file that another process shortens while it is read cannot reach the reader.
//
// A record begins at a ':' that is the first character of a line. Text before the first record
// (a header) is skipped, unless a line of it holds a record (one that lost its colon, or one
// behind other text on its line). From the first
// record on, a line is a record or blank (spaces and tabs only); any other text between or
// after records is refused with its line, so that no record is ever skipped unseen. One UTF-8
// byte-order mark at the start of the text is skipped. Line ends (CR LF, LF or CR) may even fall between the digits
// of a record. Nothing after the end-of-file record is read.
// Record types: 00 data, 01 end of file, 02 extended segment address, 03 start segment
// address (ignored), 04 extended linear address, 05 start linear address (ignored).
//
// The reader either scans (collects the lowest and highest address the data records
// cover) or copies the data that falls in a window of addresses into a buffer; a record
// that overwrites bytes an earlier record copied with other values is refused with its line
// (the same values may be given twice). One reader belongs to one thread; it never
// allocates while reading.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <span>
#include <string>
#include <vector>

#include "platform/result.h"

namespace rm7 {

enum HexRecordType : std::uint8_t {
    kHexData = 0,
    kHexEndOfFile = 1,
    kHexExtendedSegmentAddress = 2,
    kHexStartSegmentAddress = 3,
    kHexExtendedLinearAddress = 4,
    kHexStartLinearAddress = 5,
};

// The largest hex file read. The widest image the radio takes (2 MiB), written with one data
// byte a record, is some 30 MiB of text; a larger file is refused with kErrImageTooLarge
// before it is read.
inline constexpr std::uint64_t kMaxHexFileSize = 64u << 20;

class CIntelHexReader {
  public:
    CIntelHexReader() = default;
    CIntelHexReader(const CIntelHexReader&) = delete;
    CIntelHexReader& operator=(const CIntelHexReader&) = delete;

    // Reads the whole file into memory and rewinds. Returns the system's error on failure
    // (50, not supported, for a FIFO or a device), or kErrImageTooLarge.
    Result Open(const std::filesystem::path& path);
    // Reads text held by the caller, which must outlive the reader's use of it.
    void Attach(std::span<const std::uint8_t> text);
    void Close();

    // Back to the first character: line 1, base address 0, end-of-file flag and the
    // scan and copy counts cleared. The mode and window stay.
    void Rewind();

    // Scan mode: data records only widen [Lowest(), Highest()). A record that makes the
    // span wider than spanLimit fails with kErrImageTooLarge.
    void SetScanMode(std::uint64_t spanLimit = std::numeric_limits<std::uint64_t>::max());
    // Copy mode: a data record whose address lies in [low, high) is copied to
    // destination + (address - low), cut at the end of the destination; a record that
    // starts outside the window is dropped whole, even when it reaches into it. A record
    // that would change a byte an earlier record of the pass copied fails with kErrHexOverlap.
    void SetCopyWindow(std::uint32_t low, std::uint32_t high, std::span<std::uint8_t> destination);

    // Reads on to and through the next data or end-of-file record. False on failure,
    // with the code left as the thread's last error (and in LastResult()).
    bool ReadRecord();
    // Rewind, then records until the end-of-file record. Returns the code; on failure
    // it is also the thread's last error.
    Result ReadPass();

    Result LastResult() const { return m_result; }
    bool AtEndOfFile() const { return m_endOfFile; }
    // Position of the last character read, for error messages (1-based).
    std::uint32_t Line() const { return m_line; }
    std::uint32_t Column() const;

    // The record ReadRecord() last returned.
    HexRecordType RecordType() const { return m_recordType; }
    std::uint32_t RecordAddress() const { return m_recordAddress; }
    std::span<const std::uint8_t> RecordData() const { return {m_record, m_recordLength}; }

    // Scan results of the pass so far; HasData() is false until a data record with at
    // least one byte was read. Highest() is exclusive and may be 2^32.
    bool HasData() const { return m_highest > m_lowest; }
    std::uint32_t Lowest() const { return m_lowest; }
    std::uint64_t Highest() const { return m_highest; }

    // Copy-mode counts of the pass so far: data bytes copied, and data bytes that fell
    // outside the window (or past the destination's end).
    std::uint64_t CopiedBytes() const { return m_copied; }
    std::uint64_t DroppedBytes() const { return m_dropped; }

  private:
    Result Fail(Result code);
    Result Next();
    Result FindRecordStart();
    // The common case: the whole record on one line, every character a hex digit.
    bool DecodeRecordInPlace(std::uint8_t (&header)[4], std::uint8_t& checksum, std::uint8_t& sum);
    bool ReadByte(std::uint8_t& value);
    bool SkipLineEnds();
    bool CopyData();

    std::vector<std::uint8_t> m_text;
    const std::uint8_t* m_begin = nullptr;
    const std::uint8_t* m_pos = nullptr;
    const std::uint8_t* m_end = nullptr;
    std::uint32_t m_line = 1;
    std::uint32_t m_base = 0;
    bool m_endOfFile = false;
    bool m_inRecords = false;  // the pass has found its first record
    Result m_result = kOk;

    bool m_scan = true;
    std::uint64_t m_spanLimit = std::numeric_limits<std::uint64_t>::max();
    std::uint32_t m_windowLow = 0;
    std::uint32_t m_windowHigh = 0;
    std::span<std::uint8_t> m_destination;
    // One bit for each destination byte a record of this pass has copied.
    std::vector<std::uint64_t> m_written;

    std::uint32_t m_lowest = 0xFFFFFFFF;
    std::uint64_t m_highest = 0;
    std::uint64_t m_copied = 0;
    std::uint64_t m_dropped = 0;

    HexRecordType m_recordType = kHexData;
    std::uint32_t m_recordAddress = 0;
    std::uint8_t m_recordLength = 0;
    std::uint8_t m_record[255] = {};
};

// Intel-hex text for `data` placed at `address`: data records of `bytesPerRecord`
// bytes (1 to 255) that never cross a 64 KiB boundary, an extended linear address
// record wherever the upper 16 bits change (and first, when they are not 0), then the
// end-of-file record. Lines end in CR LF. Empty when the data would run past 2^32.
std::string FormatIntelHex(std::span<const std::uint8_t> data, std::uint32_t address, unsigned bytesPerRecord = 16);

}  // namespace rm7
