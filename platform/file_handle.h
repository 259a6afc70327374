#pragma once
// A file opened for reading by its descriptor, closed by the destructor. Failures come back as
// the system's codes (translated from errno); nothing is shown to anyone. Not thread-safe.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <vector>

#include "platform/result.h"

namespace rm7 {

class CFileHandle {
  public:
    CFileHandle() = default;
    ~CFileHandle();
    CFileHandle(const CFileHandle&) = delete;
    CFileHandle& operator=(const CFileHandle&) = delete;

    // Opens for reading, closing any earlier file first. A FIFO or a device opens too, without
    // waiting for a writer; its reads then wait and run until end of file. A folder is refused
    // with 5 (access denied).
    Result Open(const std::filesystem::path& path);
    // Reads up to count bytes; bytesRead 0 means end of file. 6 (invalid handle) when not open.
    Result Read(void* buffer, std::size_t count, std::size_t& bytesRead);
    // The size the file system gives (0 for a FIFO). 6 (invalid handle) when not open.
    Result GetSize(std::uint64_t& size) const;
    // False for a FIFO, a device or a socket (and when not open).
    bool IsRegularFile() const;
    bool IsOpen() const { return m_fd >= 0; }
    void Close();

  private:
    int m_fd = -1;
};

// The step of ReadWholeFile() that failed, for messages that name the system call.
enum class WholeFileStep { Open, Size, Read };

// Reads a file whole into memory, so that nothing another process does to the file later can
// reach the reader. A file larger than sizeLimit, by its size or by what it turns out to hold,
// is refused with 8 (not enough memory) at the Size or Read step. The size is only a hint: a
// file that grows or shrinks while it is read is read as it then is, to its end. regularOnly
// refuses a FIFO or a device with 50 (not supported) instead of waiting on it.
Result ReadWholeFile(const std::filesystem::path& path, std::uint64_t sizeLimit, std::vector<std::uint8_t>& data,
                     WholeFileStep* failedStep = nullptr, bool regularOnly = false);

}  // namespace rm7
