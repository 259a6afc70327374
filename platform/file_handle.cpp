#include "platform/file_handle.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/os_error.h"
#include "platform/result_codes.h"

namespace rm7 {

CFileHandle::~CFileHandle() {
    Close();
}

void CFileHandle::Close() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

Result CFileHandle::Open(const std::filesystem::path& path) {
    Close();
    // Non-blocking only for the open itself, so a FIFO without a writer cannot hang the UI thread.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        return ResultFromErrno(errno);
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        const Result code = S_ISDIR(st.st_mode) ? ResultFromErrno(EISDIR) : ResultFromErrno(errno);
        ::close(fd);
        return code;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) {
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    }
    m_fd = fd;
    return kOk;
}

Result CFileHandle::Read(void* buffer, std::size_t count, std::size_t& bytesRead) {
    bytesRead = 0;
    if (m_fd < 0) {
        return kErrorInvalidHandle;
    }
    for (;;) {
        const ssize_t n = ::read(m_fd, buffer, count);
        if (n >= 0) {
            bytesRead = static_cast<std::size_t>(n);
            return kOk;
        }
        if (errno != EINTR) {
            return ResultFromErrno(errno);
        }
    }
}

Result CFileHandle::GetSize(std::uint64_t& size) const {
    if (m_fd < 0) {
        return kErrorInvalidHandle;
    }
    struct stat st {};
    if (::fstat(m_fd, &st) != 0) {
        return ResultFromErrno(errno);
    }
    size = static_cast<std::uint64_t>(st.st_size);
    return kOk;
}

bool CFileHandle::IsRegularFile() const {
    struct stat st {};
    return m_fd >= 0 && ::fstat(m_fd, &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace rm7
