#pragma once
// Where configuration files go by default, and the name a save proposes.
#include <cstdint>
#include <filesystem>
#include <string>

#include "config/config_file.h"

namespace rm7 {

// <documents>/Tarnwell/RM7 Configuration. Both folders are created when missing, every time;
// a folder that cannot be created is left to the file dialog to complain about.
std::filesystem::path DefaultConfigurationFolder(const std::filesystem::path& documentsDir);
// The same under the user's documents folder.
std::filesystem::path DefaultConfigurationFolder();

// "SN01234.20240131T235959.RM7Config"; without the "SNnnnnn." prefix when the serial number is 0xFFFF.
std::string ProposedConfigurationFileName(std::uint16_t serialNumber, const SavedAtTime& savedAt);

}  // namespace rm7
