#include "platform/temp_dir.h"

#include <random>

#include "platform/win/wide_text.h"

namespace rm7 {

Result MakeTempDirectory(const std::string& prefix, std::filesystem::path& made) {
    wchar_t temp[MAX_PATH + 1];
    const DWORD n = ::GetTempPathW(MAX_PATH + 1, temp);
    if (n == 0 || n > MAX_PATH) {
        return static_cast<Result>(::GetLastError());
    }
    static const wchar_t kLetters[] = L"abcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device random;
    // CreateDirectoryW fails on a name that exists: the folder is ours, never one put there first.
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::wstring name = Utf8ToWide(prefix);
        for (int i = 0; i < 6; ++i) {
            name.push_back(kLetters[random() % 36]);
        }
        const std::filesystem::path candidate = std::filesystem::path(temp) / name;
        if (::CreateDirectoryW(candidate.c_str(), nullptr)) {
            made = candidate;
            return kOk;
        }
        if (::GetLastError() != ERROR_ALREADY_EXISTS) {
            return static_cast<Result>(::GetLastError());
        }
    }
    return kErrorAlreadyExists;
}

}  // namespace rm7
