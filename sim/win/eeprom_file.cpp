#include "sim/eeprom_file.h"

#include <windows.h>

#include <cerrno>
#include <filesystem>

namespace rm7sim {

namespace {

std::string Why(DWORD err) {
    return "error " + std::to_string(err);
}

}  // namespace

// Temp file, flushed, moved over the old one in one step.
bool WriteFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes, std::string& error) {
    const std::filesystem::path target = std::filesystem::u8path(path);
    const std::filesystem::path temp = std::filesystem::u8path(path + ".tmp");
    HANDLE h = ::CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        error = "cannot create " + temp.string() + ": " + Why(::GetLastError());
        return false;
    }
    DWORD written = 0;
    const bool ok = ::WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                    written == bytes.size() && ::FlushFileBuffers(h);
    const DWORD err = ::GetLastError();
    ::CloseHandle(h);
    if (!ok) {
        error = "cannot write " + temp.string() + ": " + Why(err);
        ::DeleteFileW(temp.c_str());
        return false;
    }
    if (!::MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        error = "cannot replace " + path + ": " + Why(::GetLastError());
        ::DeleteFileW(temp.c_str());
        return false;
    }
    return true;
}

int ReadWholeFile(const std::string& path, std::vector<uint8_t>& bytes) {
    HANDLE h = ::CreateFileW(std::filesystem::u8path(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD err = ::GetLastError();
        return err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND ? ENOENT : EACCES;
    }
    LARGE_INTEGER size{};
    int result = 0;
    DWORD got = 0;
    if (!::GetFileSizeEx(h, &size)) {
        result = EIO;
    } else if (static_cast<std::uint64_t>(size.QuadPart) != bytes.size()) {
        result = EINVAL;
    } else if (!::ReadFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr)) {
        result = EIO;
    } else if (got != bytes.size()) {
        result = EINVAL;
    }
    ::CloseHandle(h);
    return result;
}

}  // namespace rm7sim
