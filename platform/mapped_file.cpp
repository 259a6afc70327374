#include "platform/mapped_file.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "platform/os_error.h"

namespace rm7 {

CMappedFile::~CMappedFile() {
    Close();
}

CMappedFile::CMappedFile(CMappedFile&& other) noexcept
    : m_data(std::exchange(other.m_data, nullptr)),
      m_size(std::exchange(other.m_size, 0)),
      m_open(std::exchange(other.m_open, false)) {}

CMappedFile& CMappedFile::operator=(CMappedFile&& other) noexcept {
    if (this != &other) {
        Close();
        m_data = std::exchange(other.m_data, nullptr);
        m_size = std::exchange(other.m_size, 0);
        m_open = std::exchange(other.m_open, false);
    }
    return *this;
}

Result CMappedFile::Open(const std::filesystem::path& path) {
    Close();
    // O_NONBLOCK so that a FIFO given by mistake cannot hang the open.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        return ResultFromErrno(errno);
    }
    struct stat st {};
    Result result = kOk;
    if (::fstat(fd, &st) != 0) {
        result = ResultFromErrno(errno);
    } else if (S_ISDIR(st.st_mode)) {
        result = kErrorAccessDenied;  // what opening a folder as a file has always reported
    } else if (!S_ISREG(st.st_mode)) {
        result = kErrorNotSupported;
    } else if (st.st_size > 0) {
        void* view =
            ::mmap(nullptr, static_cast<std::size_t>(st.st_size), PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
        if (view == MAP_FAILED) {
            result = ResultFromErrno(errno);
        } else {
            ::madvise(view, static_cast<std::size_t>(st.st_size), MADV_SEQUENTIAL);
            m_data = static_cast<const std::uint8_t*>(view);
            m_size = static_cast<std::size_t>(st.st_size);
        }
    }
    ::close(fd);  // the mapping keeps the file referenced
    m_open = (result == kOk);
    return result;
}

void CMappedFile::Close() {
    if (m_data != nullptr) {
        ::munmap(const_cast<std::uint8_t*>(m_data), m_size);
    }
    m_data = nullptr;
    m_size = 0;
    m_open = false;
}

}  // namespace rm7
