#include "platform/paths.h"

#include <io.h>
#include <shlobj.h>

#include <cerrno>
#include <string>

#include "platform/result_codes.h"
#include "platform/version.h"
#include "platform/win/wide_text.h"

namespace rm7 {

namespace {

std::filesystem::path KnownFolder(REFKNOWNFOLDERID id, const wchar_t* fallbackVariable) {
    wchar_t* path = nullptr;
    std::filesystem::path found;
    if (::SHGetKnownFolderPath(id, KF_FLAG_DEFAULT, nullptr, &path) == S_OK && path != nullptr) {
        found = path;
    }
    ::CoTaskMemFree(path);
    if (found.empty()) {
        if (const wchar_t* value = ::_wgetenv(fallbackVariable); value != nullptr && value[0] != L'\0') {
            found = value;
        }
    }
    return found;
}

bool IsDirectory(const std::filesystem::path& p) {
    const DWORD attributes = ::GetFileAttributesW(p.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace

std::filesystem::path HomeDir() {
    return KnownFolder(FOLDERID_Profile, L"USERPROFILE");
}

// The application-data folder, where the described program keeps its settings and files.
std::filesystem::path ConfigHome() {
    return KnownFolder(FOLDERID_RoamingAppData, L"APPDATA");
}

std::filesystem::path DataHome() {
    return ConfigHome();
}

std::filesystem::path DocumentsDir() {
    std::filesystem::path dir = KnownFolder(FOLDERID_Documents, L"USERPROFILE");
    return dir.empty() ? HomeDir() / "Documents" : dir;
}

// The key under HKEY_CURRENT_USER where Windows programs keep a user's settings.
std::filesystem::path SettingsFilePath() {
    return std::filesystem::path(L"Software\\Tarnwell") / kProductName;
}

Result EnsureDirectory(const std::filesystem::path& dir) {
    if (dir.empty()) {
        return kErrorPathNotFound;
    }
    std::filesystem::path target = dir.lexically_normal();
    if (!target.has_filename() && target != target.root_path()) {
        target = target.parent_path();
    }
    std::filesystem::path partial;
    for (const auto& part : target) {
        partial /= part;
        // The drive and the root are there or not, but never made.
        if (part.empty() || partial == target.root_path() || partial == target.root_name() || part == "." ||
            part == "..") {
            continue;
        }
        if (::CreateDirectoryW(partial.c_str(), nullptr)) {
            continue;
        }
        const DWORD err = ::GetLastError();
        if (err == ERROR_ALREADY_EXISTS || err == ERROR_ACCESS_DENIED) {
            if (IsDirectory(partial)) {
                continue;
            }
            if (err == ERROR_ALREADY_EXISTS) {
                return partial == target ? kErrorAlreadyExists : kErrorPathNotFound;
            }
        }
        if (err == ERROR_PATH_NOT_FOUND || err == ERROR_FILE_NOT_FOUND) {
            return kErrorPathNotFound;
        }
        return static_cast<Result>(err);
    }
    return kOk;
}

int WriteAccessError(const std::filesystem::path& path, bool) {
    // Windows keeps no execute right on folders; 2 asks for writing.
    return ::_waccess(path.c_str(), 2) == 0 ? 0 : errno;
}

int ReadAccessError(const std::filesystem::path& path) {
    return ::_waccess(path.c_str(), 4) == 0 ? 0 : errno;
}

}  // namespace rm7
