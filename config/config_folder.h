#pragma once
// Where configuration files go by default, the setting that remembers the folder last used (the
// save, restore and compare jobs share it), and the name a save proposes.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

#include "config/config_file.h"
#include "model/observable.h"

namespace rm7 {

class CSettingsStore;

inline constexpr const char* kConfigurationFolderSetting = "ConfigurationFolder";

// <documents>/Tarnwell/RM7 Configuration. Both folders are created when missing, every time;
// a folder that cannot be created is left to the file dialog to complain about.
std::filesystem::path DefaultConfigurationFolder(const std::filesystem::path& documentsDir);
// The same under the user's documents folder.
std::filesystem::path DefaultConfigurationFolder();

// "SN01234.20240131T235959.RM7Config"; without the "SNnnnnn." prefix when the serial number is 0xFFFF.
std::string ProposedConfigurationFileName(std::uint16_t serialNumber, const SavedAtTime& savedAt);

// The folder the configuration dialogs start in: the stored one while it is an existing folder,
// else the default, which is then what the setting holds. (A stored folder that has gone away
// would otherwise leave the file dialog somewhere arbitrary.)
std::filesystem::path ResolveConfigurationFolder(CPersistable<std::string>& folderSetting,
                                                 const std::function<std::filesystem::path()>& defaultFolder);

// Loads the folder setting; on the way out stores it, and writes the settings file, when a
// non-empty value changed.
void LoadFolderSetting(CPersistable<std::string>& folderSetting, const CSettingsStore* settings);
void StoreFolderSetting(CPersistable<std::string>& folderSetting, CSettingsStore* settings);

}  // namespace rm7
