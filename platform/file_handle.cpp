#include "platform/file_handle.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <new>

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

Result ReadWholeFile(const std::filesystem::path& path, std::uint64_t sizeLimit, std::vector<std::uint8_t>& data,
                     WholeFileStep* failedStep, bool regularOnly) {
    data.clear();
    auto fail = [failedStep](WholeFileStep step, Result code) {
        if (failedStep != nullptr) {
            *failedStep = step;
        }
        return code;
    };
    CFileHandle file;
    if (const Result r = file.Open(path); r != kOk) {
        return fail(WholeFileStep::Open, r);
    }
    if (regularOnly && !file.IsRegularFile()) {
        return fail(WholeFileStep::Open, kErrorNotSupported);
    }
    std::uint64_t size = 0;
    if (const Result r = file.GetSize(size); r != kOk) {
        return fail(WholeFileStep::Size, r);
    }
    if (size > sizeLimit) {
        return fail(WholeFileStep::Size, kErrorNotEnoughMemory);
    }
    const std::uint64_t most = sizeLimit < UINT64_MAX ? sizeLimit + 1 : sizeLimit;  // enough to tell "too large"
    std::vector<std::uint8_t> bytes;
    std::size_t used = 0;
    try {
        // One byte more than the size, so that a file that stays as it is needs no second buffer.
        bytes.resize(static_cast<std::size_t>(size) + 1);
        for (;;) {
            if (used == bytes.size()) {
                const std::uint64_t grown = std::max<std::uint64_t>(bytes.size() * 2, 65536);
                bytes.resize(static_cast<std::size_t>(std::min(grown, most)));
            }
            std::size_t got = 0;
            if (const Result r = file.Read(bytes.data() + used, bytes.size() - used, got); r != kOk) {
                return fail(WholeFileStep::Read, r);
            }
            if (got == 0) {
                break;
            }
            used += got;
            if (used > sizeLimit) {
                return fail(WholeFileStep::Read, kErrorNotEnoughMemory);
            }
        }
    } catch (const std::bad_alloc&) {
        return fail(WholeFileStep::Read, kErrorNotEnoughMemory);
    }
    bytes.resize(used);
    data = std::move(bytes);
    return kOk;
}

}  // namespace rm7
