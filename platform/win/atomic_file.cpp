#include "platform/atomic_file.h"

#include <atomic>
#include <random>
#include <string>
#include <system_error>

#include "platform/result_codes.h"
#include "platform/win/wide_text.h"

namespace rm7 {

namespace {

std::wstring TempName(const std::wstring& targetName) {
    static std::atomic<unsigned> s_counter{0};
    static const unsigned s_salt = std::random_device{}();
    return L"." + targetName.substr(0, 200) + L"." + std::to_wstring(::GetCurrentProcessId()) + L"-" +
           std::to_wstring(s_salt ^ (s_counter.fetch_add(1) * 2654435761u)) + L".tmp";
}

}  // namespace

CAtomicFileWriter::~CAtomicFileWriter() {
    Abort();
}

Result CAtomicFileWriter::Open(const std::filesystem::path& target) {
    Abort();
    m_error = kOk;
    if (target.empty() || !target.has_filename()) {
        return kErrorInvalidName;
    }
    m_target = target;
    std::error_code ec;
    if (std::filesystem::is_symlink(target, ec)) {
        const auto resolved = std::filesystem::weakly_canonical(target, ec);
        if (!ec) {
            m_target = resolved;
        }
    }
    if (std::filesystem::is_directory(m_target, ec)) {
        return kErrorAccessDenied;
    }
    std::filesystem::path folder = m_target.parent_path();
    if (folder.empty()) {
        folder = ".";
    }
    HANDLE h = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 100; ++attempt) {
        m_temp = folder / TempName(m_target.filename().wstring());
        // CREATE_NEW: never a file someone else put there first.
        h = ::CreateFileW(m_temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE || ::GetLastError() != ERROR_FILE_EXISTS) {
            break;
        }
    }
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD err = ::GetLastError();
        m_temp.clear();
        return err == ERROR_FILE_NOT_FOUND ? kErrorPathNotFound : static_cast<Result>(err);
    }
    m_fd = HandleToInt(h);
    return kOk;
}

Result CAtomicFileWriter::Fail(Result code) {
    Abort();
    m_error = code;
    return code;
}

Result CAtomicFileWriter::Write(const void* data, std::size_t n) {
    if (m_fd < 0) {
        return m_error != kOk ? m_error : kErrorInvalidHandle;
    }
    const auto* p = static_cast<const char*>(data);
    while (n > 0) {
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(n > 0x40000000 ? 0x40000000 : n);
        if (!::WriteFile(IntToHandle(m_fd), p, chunk, &written, nullptr)) {
            return Fail(static_cast<Result>(::GetLastError()));
        }
        p += written;
        n -= written;
    }
    return kOk;
}

Result CAtomicFileWriter::Commit() {
    if (m_fd < 0) {
        return m_error != kOk ? m_error : kErrorInvalidHandle;
    }
    if (!::FlushFileBuffers(IntToHandle(m_fd))) {
        return Fail(static_cast<Result>(::GetLastError()));
    }
    ::CloseHandle(IntToHandle(m_fd));
    m_fd = -1;
    // Replaces the target in one step, the flush of the move included.
    if (!::MoveFileExW(m_temp.c_str(), m_target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const Result code = static_cast<Result>(::GetLastError());
        ::DeleteFileW(m_temp.c_str());
        m_temp.clear();
        m_error = code;
        return code;
    }
    m_temp.clear();
    return kOk;
}

void CAtomicFileWriter::Abort() {
    if (m_fd >= 0) {
        ::CloseHandle(IntToHandle(m_fd));
        m_fd = -1;
    }
    if (!m_temp.empty()) {
        ::DeleteFileW(m_temp.c_str());
        m_temp.clear();
    }
}

}  // namespace rm7
