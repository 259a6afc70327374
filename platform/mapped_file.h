#pragma once
// A whole file mapped read-only into memory, for readers that parse text in place.
// An empty file maps to size 0 without error. The mapping is owned by the object and
// released by Close() or the destructor; moving transfers it. Not thread-safe.
#include <cstddef>
#include <cstdint>
#include <filesystem>

#include "platform/result.h"

namespace rm7 {

class CMappedFile {
  public:
    CMappedFile() = default;
    ~CMappedFile();
    CMappedFile(CMappedFile&& other) noexcept;
    CMappedFile& operator=(CMappedFile&& other) noexcept;
    CMappedFile(const CMappedFile&) = delete;
    CMappedFile& operator=(const CMappedFile&) = delete;

    // Maps the existing regular file; any earlier mapping is closed first. On failure
    // nothing stays open and the code is returned: the translated system error, or 5
    // (access denied) for a folder and 50 (not supported) for a pipe or device.
    Result Open(const std::filesystem::path& path);
    void Close();

    bool IsOpen() const { return m_open; }
    // Null for an empty file.
    const std::uint8_t* Data() const { return m_data; }
    std::size_t Size() const { return m_size; }

  private:
    const std::uint8_t* m_data = nullptr;
    std::size_t m_size = 0;
    bool m_open = false;
};

}  // namespace rm7
