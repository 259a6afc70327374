#include "platform/atomic_file.h"

#include "platform/os_error.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <random>
#include <string>
#include <system_error>

namespace rm7 {

namespace {

std::string TempName(const std::string& targetName) {
    static std::atomic<unsigned> s_counter{0};
    static const unsigned s_salt = std::random_device{}();
    // Short enough to stay within NAME_MAX whatever the target is called.
    return "." + targetName.substr(0, 200) + "." + std::to_string(::getpid()) + "-" +
           std::to_string(s_salt ^ (s_counter.fetch_add(1) * 2654435761u)) + ".tmp";
}

bool WriteAll(int fd, const char* p, std::size_t n, int& err) {
    while (n > 0) {
        const ssize_t written = ::write(fd, p, n);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            err = errno;
            return false;
        }
        p += written;
        n -= static_cast<std::size_t>(written);
    }
    return true;
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
    std::error_code ec;
    m_target = target;
    if (std::filesystem::is_symlink(target, ec)) {
        const auto resolved = std::filesystem::weakly_canonical(target, ec);
        if (!ec) {
            m_target = resolved;
        }
    }
    std::filesystem::path folder = m_target.parent_path();
    if (folder.empty()) {
        folder = ".";
    }

    mode_t keepMode = 0;
    bool keep = false;
    struct stat st {};
    if (::stat(m_target.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) {
            return ResultFromErrno(EISDIR);
        }
        keepMode = st.st_mode & 07777;
        keep = true;
    }

    for (int attempt = 0; attempt < 100; ++attempt) {
        m_temp = folder / TempName(m_target.filename().string());
        // 0644 here lets the kernel apply the umask for a new file.
        m_fd = ::open(m_temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (m_fd >= 0 || errno != EEXIST) {
            break;
        }
    }
    if (m_fd < 0) {
        const int err = errno;
        m_temp.clear();
        // A missing folder is a path that is not found, not a missing file.
        if (err == ENOENT) {
            return kErrorPathNotFound;
        }
        return ResultFromErrno(err);
    }
    if (keep && ::fchmod(m_fd, keepMode) != 0) {
        return Fail(ResultFromErrno(errno));
    }
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
    int err = 0;
    if (n > 0 && !WriteAll(m_fd, static_cast<const char*>(data), n, err)) {
        return Fail(ResultFromErrno(err));
    }
    return kOk;
}

Result CAtomicFileWriter::Commit() {
    if (m_fd < 0) {
        return m_error != kOk ? m_error : kErrorInvalidHandle;
    }
    if (::fsync(m_fd) != 0) {
        return Fail(ResultFromErrno(errno));
    }
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0) {
        const Result code = ResultFromErrno(errno);
        ::unlink(m_temp.c_str());
        m_temp.clear();
        m_error = code;
        return code;
    }
    if (::rename(m_temp.c_str(), m_target.c_str()) != 0) {
        const Result code = ResultFromErrno(errno);
        ::unlink(m_temp.c_str());
        m_temp.clear();
        m_error = code;
        return code;
    }
    m_temp.clear();
    // Makes the rename itself durable. The new file is in place already, so a folder that cannot
    // be synced (some file systems refuse) does not turn the save into a failure.
    std::filesystem::path folder = m_target.parent_path();
    const int dirFd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return kOk;
}

void CAtomicFileWriter::Abort() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (!m_temp.empty()) {
        ::unlink(m_temp.c_str());
        m_temp.clear();
    }
}

}  // namespace rm7
