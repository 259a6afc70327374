#include "platform/file_handle.h"

#include "platform/result_codes.h"
#include "platform/win/wide_text.h"

namespace rm7 {

CFileHandle::~CFileHandle() {
    Close();
}

void CFileHandle::Close() {
    if (m_fd >= 0) {
        ::CloseHandle(IntToHandle(m_fd));
        m_fd = -1;
    }
}

Result CFileHandle::Open(const std::filesystem::path& path) {
    Close();
    // Others may keep reading and writing it, as on POSIX; a folder is refused as there.
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        return static_cast<Result>(::GetLastError());
    }
    m_fd = HandleToInt(h);
    return kOk;
}

Result CFileHandle::Read(void* buffer, std::size_t count, std::size_t& bytesRead) {
    bytesRead = 0;
    if (m_fd < 0) {
        return kErrorInvalidHandle;
    }
    DWORD got = 0;
    if (!::ReadFile(IntToHandle(m_fd), buffer, static_cast<DWORD>(count > 0x40000000 ? 0x40000000 : count), &got,
                    nullptr)) {
        // A pipe whose writer closed is its end of file.
        return ::GetLastError() == ERROR_BROKEN_PIPE ? kOk : static_cast<Result>(::GetLastError());
    }
    bytesRead = got;
    return kOk;
}

Result CFileHandle::GetSize(std::uint64_t& size) const {
    if (m_fd < 0) {
        return kErrorInvalidHandle;
    }
    if (!IsRegularFile()) {
        size = 0;
        return kOk;
    }
    LARGE_INTEGER li{};
    if (!::GetFileSizeEx(IntToHandle(m_fd), &li)) {
        return static_cast<Result>(::GetLastError());
    }
    size = static_cast<std::uint64_t>(li.QuadPart);
    return kOk;
}

bool CFileHandle::IsRegularFile() const {
    return m_fd >= 0 && ::GetFileType(IntToHandle(m_fd)) == FILE_TYPE_DISK;
}

}  // namespace rm7
