#pragma once
// Replaces a file all at once: the new content goes to a temporary file beside the target (same
// file system), which Commit() flushes and renames over the target. Until Commit() succeeds the
// target is untouched; after any failure, Abort() or destruction nothing of the attempt is left.
//
// An existing target keeps its permission bits; a new one gets 0644 less the umask. A target
// that is a symbolic link has the file it points to replaced, not the link. One thread at a time.
#include "platform/result.h"

#include <cstddef>
#include <filesystem>
#include <string_view>

namespace rm7 {

class CAtomicFileWriter {
  public:
    CAtomicFileWriter() = default;
    CAtomicFileWriter(const CAtomicFileWriter&) = delete;
    CAtomicFileWriter& operator=(const CAtomicFileWriter&) = delete;
    ~CAtomicFileWriter();  // aborts when not committed

    // Starts a new file for target (abandoning any attempt in progress).
    Result Open(const std::filesystem::path& target);
    // Appends n bytes. A failure abandons the attempt; later calls return the same code.
    Result Write(const void* data, std::size_t n);
    // Flushes the data to the disk and puts the file in place of the target.
    Result Commit();
    void Abort();

    bool IsOpen() const { return m_fd >= 0; }

  private:
    Result Fail(Result code);

    int m_fd = -1;
    std::filesystem::path m_target;
    std::filesystem::path m_temp;
    Result m_error = kOk;
};

// The whole content written at once through CAtomicFileWriter.
Result WriteFileAtomically(const std::filesystem::path& target, std::string_view content);

}  // namespace rm7
