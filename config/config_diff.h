#pragma once
// What differs between two configurations (two saved files, or a file and the radio), range by
// range, with the names of the areas the program knows.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "config/config_file.h"
#include "model/eeprom_map.h"

namespace rm7 {

// One configuration as compared: its serial number (when known) and its EEPROM image, 0xFF
// where nothing was supplied.
struct ConfigurationSide {
    std::optional<std::uint16_t> serialNumber;
    EepromImage image{};
};

// A file's contents laid onto an erased image.
ConfigurationSide SideFromFile(const ConfigurationFileContents& contents);
// Reads a file to compare. It needs only to be whole and unaltered: its serial number is compared,
// not checked. The reader's messages go to notifier (may be null).
Result ReadConfigurationSide(const std::filesystem::path& path, IUserNotifier* notifier, ConfigurationSide& side);

// A run of adjacent differing bytes, with the name of the area it lies in ("" when unknown) and,
// for a text area, both texts.
struct ByteDifference {
    std::uint16_t address = 0;
    std::vector<std::uint8_t> left;
    std::vector<std::uint8_t> right;
    std::string area;
    std::optional<std::string> leftText;
    std::optional<std::string> rightText;
};

struct RangeDifference {
    EepromRange range{};
    std::vector<ByteDifference> runs;
};

struct ConfigurationDifference {
    bool serialDiffers = false;
    std::optional<std::uint16_t> leftSerial;
    std::optional<std::uint16_t> rightSerial;
    std::vector<RangeDifference> ranges;  // only the ranges that differ, in file order

    bool Equal() const { return !serialDiffers && ranges.empty(); }
};

// Compares the given ranges (a saved configuration holds only the configuration ranges).
ConfigurationDifference CompareConfigurations(const ConfigurationSide& left, const ConfigurationSide& right,
                                              std::span<const EepromRange> ranges = kConfigurationRanges);

// The name of the known area holding an address ("CW memory 3", "Command macro 2 label",
// "Power-on banner", "Serial number"), or "" when the program knows none.
std::string EepromAreaName(std::uint32_t address);

// The differences as lines of text, the same on the terminal and in the desktop application.
std::string ConfigurationDifferenceText(const ConfigurationDifference& diff, const std::string& leftName,
                                        const std::string& rightName);

}  // namespace rm7
