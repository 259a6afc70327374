#include "config/file_classes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <new>

#include "model/user_notifier.h"
#include "platform/last_error.h"
#include "platform/os_error.h"
#include "platform/text.h"

namespace rm7 {

CFileRead::~CFileRead() {
    Close();
}

void CFileRead::Close() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

Result CFileRead::GetSize(std::uint64_t& size) {
    struct stat st {};
    if (m_fd < 0) {
        return kErrorInvalidHandle;
    }
    if (::fstat(m_fd, &st) != 0) {
        return ResultFromErrno(errno);
    }
    size = static_cast<std::uint64_t>(st.st_size);
    return kOk;
}

CFileRead2::CFileRead2(IUserNotifier* owner, std::string caption) : m_owner(owner), m_caption(std::move(caption)) {}

Result CFileRead2::Report(std::string_view operation, Result code) {
    SetLastError(code);
    if (m_owner != nullptr) {
        char head[32];
        std::snprintf(head, sizeof head, "Error 0x%08X: ", static_cast<unsigned>(code));
        std::string text;
        text.append(operation).append(" failed on \"").append(m_fileName).append("\"\r\n");
        text.append(head).append(SystemErrorText(code));
        m_owner->MessageBox(m_caption, text, MessageIcon::Error);
    }
    return code;
}

Result CFileRead2::GetSize(std::uint64_t& size) {
    const Result r = CFileRead::GetSize(size);
    return r == kOk ? r : Report("GetFileSize", r);
}

Result CFileRead2::Open(const std::filesystem::path& name) {
    Close();
    SetFileName(name);
    // Non-blocking only for the open itself, so a FIFO without a writer cannot hang the UI thread.
    const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        return Report("CreateFile", ResultFromErrno(errno));
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        const Result code = S_ISDIR(st.st_mode) ? kErrorAccessDenied : ResultFromErrno(errno);
        ::close(fd);
        return Report("CreateFile", code);
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) {
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    }
    m_fd = fd;
    return kOk;
}

Result CFileRead2::Read(void* buffer, std::size_t count, std::size_t& bytesRead) {
    bytesRead = 0;
    if (m_fd < 0) {
        return Report("ReadFile", kErrorInvalidHandle);
    }
    for (;;) {
        const ssize_t n = ::read(m_fd, buffer, count);
        if (n >= 0) {
            bytesRead = static_cast<std::size_t>(n);
            return kOk;
        }
        if (errno != EINTR) {
            return Report("ReadFile", ResultFromErrno(errno));
        }
    }
}

Result CFileRead3::GetSize(std::uint64_t& size) {
    size = m_buffer.size();
    return kOk;
}

Result CFileRead3::LoadAll(const std::filesystem::path& name, std::uint64_t sizeLimit) {
    m_buffer.clear();
    m_position = 0;
    m_loaded = false;
    if (const Result r = Open(name); r != kOk) {
        return r;
    }
    std::uint64_t size = 0;
    if (const Result r = CFileRead2::GetSize(size); r != kOk) {
        Close();
        return r;
    }
    if (size > sizeLimit) {
        Close();
        return Report("ReadFile", kErrorNotEnoughMemory);
    }
    // The size is only a hint: read to the end, so a file that grows or a pipe is still read whole.
    std::vector<std::uint8_t> data;
    try {
        data.reserve(static_cast<std::size_t>(size));
        std::uint8_t chunk[8192];
        for (;;) {
            std::size_t got = 0;
            if (const Result r = Read(chunk, sizeof chunk, got); r != kOk) {
                Close();
                return r;
            }
            if (got == 0) {
                break;
            }
            if (data.size() + got > sizeLimit) {
                Close();
                return Report("ReadFile", kErrorNotEnoughMemory);
            }
            data.insert(data.end(), chunk, chunk + got);
        }
    } catch (const std::bad_alloc&) {
        Close();
        return Report("ReadFile", kErrorNotEnoughMemory);
    }
    Close();
    m_buffer = std::move(data);
    m_loaded = true;
    return kOk;
}

int CFileRead3::ReadByte() {
    if (m_position >= m_buffer.size()) {
        return -1;
    }
    return m_buffer[m_position++];
}

Result CFileWrite2::Create(const std::filesystem::path& name) {
    Abort();
    SetFileName(name);
    m_writer = std::make_unique<CAtomicFileWriter>();
    if (const Result r = m_writer->Open(name); r != kOk) {
        m_writer.reset();
        return Report("CreateFile", r);
    }
    m_open = true;
    return kOk;
}

Result CFileWrite2::Write(const void* bytes, std::size_t count) {
    if (!m_open) {
        return Report("WriteFile", kErrorInvalidHandle);
    }
    if (const Result r = m_writer->Write(bytes, count); r != kOk) {
        return Report("WriteFile", r);
    }
    return kOk;
}

Result CFileWrite2::WriteString(std::string_view utf8) {
    const std::string bytes = Utf8ToLatin1(utf8);
    return Write(bytes.data(), bytes.size());
}

Result CFileWrite2::WriteLine(std::string_view utf8) {
    if (const Result r = WriteString(utf8); r != kOk) {
        return r;
    }
    return Write("\r\n", 2);
}

Result CFileWrite2::Commit() {
    if (!m_open) {
        return Report("WriteFile", kErrorInvalidHandle);
    }
    m_open = false;
    const Result r = m_writer->Commit();
    m_writer.reset();
    // The rename is what makes the new file visible; name it as the replace it is.
    return r == kOk ? r : Report("ReplaceFile", r);
}

void CFileWrite2::Abort() {
    if (m_writer) {
        m_writer->Abort();
        m_writer.reset();
    }
    m_open = false;
}

}  // namespace rm7
