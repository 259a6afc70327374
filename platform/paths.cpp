#include "platform/paths.h"

#include "platform/os_error.h"
#include "platform/version.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace rm7 {

namespace {

std::filesystem::path AbsoluteFromEnv(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr || value[0] != '/') {
        return {};
    }
    return value;
}

// The value of one line of user-dirs.dirs, a shell assignment: KEY="$HOME/some dir".
bool ParseUserDir(const std::string& line, const std::string& key, std::filesystem::path& out) {
    std::size_t i = line.find_first_not_of(" \t");
    if (i == std::string::npos || line.compare(i, key.size(), key) != 0) {
        return false;
    }
    i += key.size();
    if (line.compare(i, 2, "=\"") != 0) {
        return false;
    }
    i += 2;
    std::string value;
    bool closed = false;
    for (; i < line.size(); ++i) {
        if (line[i] == '\\' && i + 1 < line.size()) {
            value.push_back(line[++i]);
        } else if (line[i] == '"') {
            closed = true;
            break;
        } else {
            value.push_back(line[i]);
        }
    }
    if (!closed) {
        return false;
    }
    static const std::string kHomePrefix = "$HOME";
    if (value.compare(0, kHomePrefix.size(), kHomePrefix) == 0 &&
        (value.size() == kHomePrefix.size() || value[kHomePrefix.size()] == '/')) {
        const std::string rest = value.substr(kHomePrefix.size());
        out = rest.find_first_not_of('/') == std::string::npos ? HomeDir()
                                                               : HomeDir() / rest.substr(rest.find_first_not_of('/'));
        return true;
    }
    if (!value.empty() && value[0] == '/') {
        out = value;
        return true;
    }
    return false;
}

bool IsDirectory(const std::filesystem::path& p) {
    struct stat st {};
    return ::stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

std::filesystem::path HomeDir() {
    if (const char* home = std::getenv("HOME"); home != nullptr && home[0] != '\0') {
        return home;
    }
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384u);
    passwd pw{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &pw, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
        found->pw_dir != nullptr && found->pw_dir[0] != '\0') {
        return found->pw_dir;
    }
    return "/";
}

std::filesystem::path ConfigHome() {
    auto dir = AbsoluteFromEnv("XDG_CONFIG_HOME");
    return dir.empty() ? HomeDir() / ".config" : dir;
}

std::filesystem::path DataHome() {
    auto dir = AbsoluteFromEnv("XDG_DATA_HOME");
    return dir.empty() ? HomeDir() / ".local" / "share" : dir;
}

std::filesystem::path DocumentsDir() {
    std::ifstream in(ConfigHome() / "user-dirs.dirs");
    std::filesystem::path found;
    for (std::string line; std::getline(in, line);) {
        std::filesystem::path value;
        if (ParseUserDir(line, "XDG_DOCUMENTS_DIR", value)) {
            found = value;  // the last assignment wins, as in the shell
        }
    }
    return found.empty() ? HomeDir() / "Documents" : found;
}

std::filesystem::path SettingsFilePath() {
    return ConfigHome() / "Tarnwell" / (std::string(kProductName) + ".conf");
}

Result EnsureDirectory(const std::filesystem::path& dir) {
    if (dir.empty()) {
        return kErrorPathNotFound;
    }
    std::filesystem::path target = dir.lexically_normal();
    if (!target.has_filename() && target != target.root_path()) {
        target = target.parent_path();  // "a/b/" names the folder b
    }
    std::filesystem::path partial;
    for (const auto& part : target) {
        partial /= part;
        if (part.empty() || part == "/" || part == "." || part == "..") {
            continue;
        }
        if (::mkdir(partial.c_str(), 0777) == 0) {
            continue;
        }
        const int err = errno;
        if (err == EEXIST) {
            if (IsDirectory(partial)) {
                continue;
            }
            return partial == target ? kErrorAlreadyExists : kErrorPathNotFound;
        }
        if (err == ENOTDIR || err == ENOENT) {
            return kErrorPathNotFound;
        }
        // A folder we may not create in but that exists already is fine.
        if (IsDirectory(partial)) {
            continue;
        }
        return ResultFromErrno(err);
    }
    return kOk;
}

int WriteAccessError(const std::filesystem::path& path, bool isFolder) {
    return ::access(path.c_str(), isFolder ? W_OK | X_OK : W_OK) == 0 ? 0 : errno;
}

int ReadAccessError(const std::filesystem::path& path) {
    return ::access(path.c_str(), R_OK) == 0 ? 0 : errno;
}

}  // namespace rm7
