#pragma once
// Where the program keeps its things, by the XDG base-directory rules.
#include "platform/result.h"

#include <filesystem>

namespace rm7 {

// $XDG_CONFIG_HOME, else ~/.config. A relative value counts as unset, as the XDG rules say.
std::filesystem::path ConfigHome();
// $XDG_DATA_HOME, else ~/.local/share.
std::filesystem::path DataHome();
// XDG_DOCUMENTS_DIR from user-dirs.dirs in ConfigHome(), else ~/Documents.
std::filesystem::path DocumentsDir();
// ConfigHome()/Tarnwell/RM7 Utility.conf; on Windows the registry key Software\Tarnwell\RM7 Utility
// under HKEY_CURRENT_USER (see settings.h).
std::filesystem::path SettingsFilePath();
// $HOME, else the home folder of the user's account.
std::filesystem::path HomeDir();

// 0 when this user may write the file, or make new files in the folder; else why not (an errno).
int WriteAccessError(const std::filesystem::path& path, bool isFolder);
// 0 when this user may read the file; else why not (an errno).
int ReadAccessError(const std::filesystem::path& path);

// Creates the folder and any missing parents; an existing folder is success. A file in the way
// is ERROR_ALREADY_EXISTS (183), a file where a parent should be ERROR_PATH_NOT_FOUND (3).
Result EnsureDirectory(const std::filesystem::path& dir);

}  // namespace rm7
