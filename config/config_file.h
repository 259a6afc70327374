#pragma once
// The saved-configuration file: 8-bit text lines ended by CR LF, identification lines, one
// "MEM2" data line per 32-byte chunk of each configuration range, and a final "CRC32" line whose
// value covers every other line, so an edited, cut-short or damaged file is refused before
// anything reaches the radio.
//
// Everything here runs on the UI thread; the notifier (which may be null) shows the messages.
#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "config/crc32.h"
#include "model/eeprom_map.h"
#include "platform/result.h"

namespace rm7 {

class IUserNotifier;

inline constexpr const char* kConfigurationFileExtension = "RM7Config";
inline constexpr std::uint16_t kNoSerialNumber = 0xFFFF;
inline constexpr std::size_t kDataLineChunk = 32;

// Captions and texts the reader and writer show.
inline constexpr const char* kConfigWriteErrorCaption = "Configuration file write error";
inline constexpr const char* kConfigReadErrorCaption = "Configuration file read error";
inline constexpr const char* kRestoreErrorCaption = "Restore Configuration Error";
inline constexpr const char* kSerialMismatchCaption = "Serial Number Mismatch";
inline constexpr const char* kAlteredFileText =
    "The configuration file has been altered after it was saved.\r\nCannot restore from a modified configuration "
    "file.";
inline constexpr const char* kIncompleteFileText =
    "The configuration file is incomplete.\r\nCannot restore from an incomplete configuration file.";
inline constexpr const char* kSerialMismatchQuestion =
    "The Serial Number within the restore file\ndoes not match the Serial Number of your %s.\n\nIf you continue "
    "anyway, you will need to\n   reconfigure your crystal filters (including offsets),\n   perform synthesizer "
    "calibration,\n   perform optional wattmeter calibration,\n   and perform TX Gain calibration.\n\nPress No to "
    "abandon restore\nPress Yes to continue anyway.";
inline constexpr const char* kSerialMismatchRefusal =
    "The Serial Number within the restore file\ndoes not match the Serial Number of your %s.\n\nRestore cannot "
    "continue.";

// The local time a save started; it names the file and heads it.
struct SavedAtTime {
    std::uint16_t year = 0;
    std::uint16_t month = 0;
    std::uint16_t day = 0;
    std::uint16_t hour = 0;
    std::uint16_t minute = 0;
    std::uint16_t second = 0;

    bool operator==(const SavedAtTime&) const = default;
};

SavedAtTime SavedAtFromLocalTime(std::int64_t secondsSinceEpoch);

// What the save knows about the radio besides its EEPROM.
struct ConfigurationIdentity {
    std::string firmwareVersion;                   // the MCU version in its display form, e.g. "02.87"
    std::uint16_t serialNumber = kNoSerialNumber;  // no serial-number line when 0xFFFF
};

// A contiguous run of bytes within one page, written to the radio as one EEPROM area.
struct PageRun {
    std::uint8_t page = 0;
    std::uint8_t first = 0;
    std::uint8_t last = 0;
    std::array<std::uint8_t, 256> data{};  // indexed by offset; 0xFF where no line supplied a byte

    std::uint16_t Address() const { return static_cast<std::uint16_t>(page * 256u + first); }
    std::uint16_t Length() const { return static_cast<std::uint16_t>(last - first + 1); }
    const std::uint8_t* Bytes() const { return data.data() + first; }
};

// One configuration range as a file supplies it.
struct ConfigurationRangeContents {
    EepromRange range{};
    std::vector<std::uint8_t> bytes;  // range.length bytes; 0xFF where the file has none
    std::size_t supplied = 0;         // how many of them the file supplies
};

// What a configuration file holds, for the restore and for `rm7util config verify`.
struct ConfigurationFileContents {
    std::optional<SavedAtTime> savedAt;  // from the heading comment, when it has the usual form
    std::string utilityVersion;          // the information lines, as written
    std::string firmwareVersion;
    std::optional<std::uint16_t> serialNumber;  // the serial-number line, when its value parses
    std::vector<PageRun> runs;                  // in file order; the restore writes each as one area
};

// The configuration ranges with the bytes the runs supply (later runs win, as on the radio).
std::vector<ConfigurationRangeContents> DescribeRanges(const std::vector<PageRun>& runs);
// Applies the runs to an image in order.
void ApplyRuns(const std::vector<PageRun>& runs, EepromImage& image);

// ---- writing ----

// The "MEM2" lines for the configuration ranges of an image, without line ends.
std::vector<std::string> ConfigurationDataLines(const EepromImage& image);
// Every line of the file, the check line last, without line ends.
std::vector<std::string> ConfigurationFileLines(const SavedAtTime& savedAt, const EepromImage& image,
                                                const ConfigurationIdentity& identity);

// Writes the file. The file appears under its name only when every line was written; after a
// failure an earlier file of that name is left as it was. Returns 0 or the system error, which
// is also the thread's last error; the caller says it (FileFailureText).
Result WriteConfigurationFile(const std::filesystem::path& path, const SavedAtTime& savedAt, const EepromImage& image,
                              const ConfigurationIdentity& identity);

// ---- reading ----

struct ConfigurationReadContext {
    std::uint16_t radioSerialNumber = kNoSerialNumber;  // 0xFFFF: not known, not checked
    bool advancedMode = false;                          // a mismatch may then be accepted
    IUserNotifier* notifier = nullptr;                  // null: no messages, a mismatch is refused
};

// What one line asks of the reader.
enum class ConfigurationLineEvent {
    None,              // go on
    Altered,           // malformed check line or wrong check value
    Unparsable,        // malformed data or legacy line
    SerialUnparsable,  // serial-number line without " = ": tell, and go on
    SerialMismatch,    // the file belongs to another radio: ask or refuse
};

// The line-by-line reader without any user interface. Lines come without their line feed and
// with carriage returns already removed.
class CConfigurationParser {
  public:
    explicit CConfigurationParser(std::uint16_t radioSerialNumber = kNoSerialNumber);

    ConfigurationLineEvent ParseLine(std::string_view line);
    // At the end of the data: 0, or kErrConfigIncomplete when there was no data line or no
    // check line after the last one.
    Result Finish() const;

    const ConfigurationFileContents& Contents() const { return m_contents; }
    ConfigurationFileContents& Contents() { return m_contents; }
    // The standard CRC-32 of the lines covered so far.
    std::uint32_t Crc() const { return m_crc.Value(); }

  private:
    void AddByte(std::uint32_t address, std::uint8_t value);
    bool CheckSerialNumber(std::string_view line, bool& unparsable);
    void NoteInformation(std::string_view line);

    std::uint16_t m_radioSerial;
    std::string m_serialKey;
    CCrc32 m_crc;
    bool m_dataSeen = false;
    bool m_dataSinceCheck = false;
    int m_filling = -1;  // index of the run being filled, -1 when none
    ConfigurationFileContents m_contents;
};

// "MEM2 hh ll cc data...": the address and the bytes; false when malformed.
bool ParseDataLine(std::string_view line, std::uint32_t& address, std::vector<std::uint8_t>& bytes);
// "MEMx ppp.ooo = vvv" (decimal): the address and the byte; false when malformed.
bool ParseLegacyLine(std::string_view line, std::uint16_t& address, std::uint8_t& value);

// Reads a configuration held in memory, showing the reader's messages through the context's
// notifier. Returns 0, kErrConfigIncomplete, kErrConfigCorrupt or kErrConfigSerialMismatch.
// After a failure `out` keeps what was collected; nothing may be sent to the radio then.
Result ReadConfigurationText(std::string_view bytes, const ConfigurationReadContext& context,
                             ConfigurationFileContents& out);
// Loads the file and reads it. A file that cannot be loaded is the system's code, shown by no one
// here: the caller says it (FileFailureText); what the reader finds in the file it shows itself.
Result ReadConfigurationFile(const std::filesystem::path& path, const ConfigurationReadContext& context,
                             ConfigurationFileContents& out);

}  // namespace rm7
