#pragma once
// One firmware image read from an intel-hex file into a flat, 0xFF-filled buffer, and
// the checksum reconciliation word of the main processor's (MCU) image.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "platform/result.h"

namespace rm7 {

// The MCU image: addresses 0x800 to 0x1FD7F, 1003 blocks of 128 bytes.
inline constexpr std::uint32_t kMcuLowAddress = 0x800;
inline constexpr std::uint32_t kMcuHighAddress = 0x1FD80;
inline constexpr std::uint32_t kMcuBlockSize = 128;
inline constexpr std::uint32_t kDspChunkSize = 64;

// The pair of Load() addresses that takes the range from the file (the DSP image).
inline constexpr std::uint32_t kRangeFromFileLow = 0;
inline constexpr std::uint32_t kRangeFromFileHigh = 0xFFFFFFFF;

// The widest image the radio can take: the loaders show progress in 32-byte steps on a
// bar whose range is 16 bits, so an image beyond 2 MiB cannot even be shown, and no
// processor of the radio holds more. Any wider span is refused with kErrImageTooLarge
// before memory is allocated for it.
inline constexpr std::uint32_t kMaxImageSpan = 0x200000;

class CIntelHexReader;

class CFirmwareImage {
  public:
    CFirmwareImage() = default;
    CFirmwareImage(const CFirmwareImage&) = delete;
    CFirmwareImage& operator=(const CFirmwareImage&) = delete;

    // Reads the file into the window [low, high), or, for the pair kRangeFromFileLow /
    // kRangeFromFileHigh, into exactly the range the file's data records cover (a scan
    // pass first). The buffer holds at least minimumSize bytes, rounded up to 4, and
    // every byte no record supplies is 0xFF. False on failure, with the code as the
    // thread's last error: the system's file error (line 0), a record error of the
    // reader (kErrHexOverlap among them), or kErrImageTooLarge; the image is then empty and
    // not loaded. A file without data loads as an image without data; the loaders refuse it
    // (LoadFirmwareImage()).
    bool Load(const std::filesystem::path& file, std::uint32_t low, std::uint32_t high, std::uint32_t minimumSize);
    // The same from hex text already in memory (the file name stays empty).
    bool LoadText(std::span<const std::uint8_t> text, std::uint32_t low, std::uint32_t high, std::uint32_t minimumSize);
    void Clear();

    // Widest high - low that Load() accepts; kMaxImageSpan unless set.
    void SetMaxSpan(std::uint32_t span) { m_maxSpan = span; }
    std::uint32_t MaxSpan() const { return m_maxSpan; }

    bool Loaded() const { return m_loaded; }
    std::uint32_t Size() const { return m_size; }
    std::uint32_t AllocatedSize() const { return m_allocatedSize; }
    std::uint32_t MinimumSize() const { return m_minimumSize; }
    std::uint32_t LowAddress() const { return m_low; }
    std::uint32_t HighAddress() const { return m_high; }
    const std::filesystem::path& FileName() const { return m_fileName; }
    // Line of the last record read, for "Line %u, error code 0x%08X: %s"; 0 when the
    // file was not opened.
    std::uint32_t Line() const { return m_line; }
    // Data bytes of the file that fell outside the window and were left out, and those that
    // went into the image (a byte given twice counts twice).
    std::uint64_t DroppedBytes() const { return m_droppedBytes; }
    std::uint64_t CopiedBytes() const { return m_copiedBytes; }

    // Index 0 holds the byte of LowAddress().
    std::span<std::uint8_t> Bytes() { return {m_buffer.get(), m_size}; }
    std::span<const std::uint8_t> Bytes() const { return {m_buffer.get(), m_size}; }
    // No byte for an address outside [LowAddress(), HighAddress()).
    std::optional<std::uint8_t> ByteAt(std::uint32_t address) const;

  private:
    Result Begin(std::uint32_t low, std::uint32_t high, std::uint32_t minimumSize);
    bool Finish(Result result);
    Result Read(CIntelHexReader& reader, std::uint32_t low, std::uint32_t high);
    Result Allocate();

    std::unique_ptr<std::uint8_t[]> m_buffer;
    std::uint32_t m_size = 0;
    std::uint32_t m_allocatedSize = 0;
    std::uint32_t m_minimumSize = 0;
    std::uint32_t m_low = 0;
    std::uint32_t m_high = 0;
    std::uint32_t m_maxSpan = kMaxImageSpan;
    bool m_loaded = false;
    std::uint32_t m_line = 0;
    std::uint64_t m_droppedBytes = 0;
    std::uint64_t m_copiedBytes = 0;
    std::filesystem::path m_fileName;
};

// What the MCU image's reconciliation word says, without changing anything.
enum class ReconciliationOutcome {
    Verified,    // a value is stored and the image sums to zero
    ZeroValue,   // no value is stored but the image already sums to zero (development images)
    Computed,    // no value is stored: `computed` goes in and makes the sum zero
    Corrupt,     // a value is stored but the image does not sum to zero: refused
    NotAnImage,  // the image is not a loaded MCU image (shorter than two bytes)
};

struct ReconciliationInfo {
    ReconciliationOutcome outcome = ReconciliationOutcome::NotAnImage;
    // Display forms: byte 0x800 + 256 * byte 0x801, shown as "0x%X".
    std::uint16_t stored = 0;
    std::uint16_t computed = 0;  // the display form after the write (Computed only)
    // Sum modulo 65536 of the image as big-endian 16-bit words, before any write.
    std::uint16_t sum = 0;
    Result result = kOk;  // kErrHexImageChecksum for Corrupt
};

ReconciliationInfo AnalyseReconciliation(const CFirmwareImage& image);

// Checks the MCU image's reconciliation word, writing the computed word into an image
// that has none, and logs what it found: a fault to log, the values (stored, computed) to
// detail. Returns 0 or kErrHexImageChecksum.
Result ReconcileChecksum(CFirmwareImage& image, const std::function<void(const std::string&)>& log,
                         const std::function<void(const std::string&)>& detail);
// Everything to the one log.
inline Result ReconcileChecksum(CFirmwareImage& image, const std::function<void(const std::string&)>& log) {
    return ReconcileChecksum(image, log, log);
}

}  // namespace rm7
