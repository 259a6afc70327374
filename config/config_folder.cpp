#include "config/config_folder.h"

#include <cstdio>
#include <system_error>

#include "platform/paths.h"
#include "platform/settings.h"
#include "platform/version.h"

namespace rm7 {

std::filesystem::path DefaultConfigurationFolder(const std::filesystem::path& documentsDir) {
    const std::filesystem::path maker = documentsDir / "Tarnwell";
    const std::filesystem::path folder = maker / (std::string(kModelName) + " Configuration");
    EnsureDirectory(maker);
    EnsureDirectory(folder);
    return folder;
}

std::filesystem::path DefaultConfigurationFolder() {
    return DefaultConfigurationFolder(DocumentsDir());
}

std::string ProposedConfigurationFileName(std::uint16_t serialNumber, const SavedAtTime& t) {
    char prefix[16] = "";
    if (serialNumber != kNoSerialNumber) {
        std::snprintf(prefix, sizeof prefix, "SN%05u.", serialNumber);
    }
    char name[96];
    std::snprintf(name, sizeof name, "%s%04u%02u%02uT%02u%02u%02u.%s", prefix, t.year, t.month, t.day, t.hour, t.minute,
                  t.second, kConfigurationFileExtension);
    return name;
}

std::filesystem::path ResolveConfigurationFolder(CPersistable<std::string>& folderSetting,
                                                 const std::function<std::filesystem::path()>& defaultFolder) {
    const std::string stored = folderSetting.Get();
    std::error_code ec;
    if (!stored.empty() && std::filesystem::is_directory(stored, ec)) {
        return stored;
    }
    const std::filesystem::path folder = defaultFolder();
    folderSetting.Set(folder.string());
    return folder;
}

void LoadFolderSetting(CPersistable<std::string>& folderSetting, const CSettingsStore* settings) {
    if (settings != nullptr) {
        folderSetting.Load(*settings);
    }
}

void StoreFolderSetting(CPersistable<std::string>& folderSetting, CSettingsStore* settings) {
    if (settings == nullptr || folderSetting.Get().empty()) {
        return;
    }
    std::string before;
    settings->ReadString("", folderSetting.Name(), before);
    folderSetting.Save(*settings);
    if (before != folderSetting.Get()) {
        settings->Save();
    }
}

}  // namespace rm7
