#pragma once
// The files the configuration file and the other readers of whole text files go through.
// A failing system call shows nothing: it returns its code, which stays the thread's last error,
// and the caller, who knows the job, says it once with the file's path (FileFailureText).
//
// Not thread-safe; one object per file, used on the UI thread.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/atomic_file.h"
#include "platform/result.h"

namespace rm7 {

// What a person reads when a file could not be read or written: its path and the system's
// words for the code ("/home/op/x.RM7Config: No such file or directory").
std::string FileFailureText(const std::filesystem::path& path, Result code);
// Whether a code is one of the operating system's (a file's failure) rather than one of this
// program's own (what a reader found in the file, which it has said itself).
constexpr bool IsSystemFailure(Result code) {
    return code != 0 && (code & 0x80000000u) == 0;
}

// Reads a whole file into memory (a FIFO or device too: it is read until end of file), then
// hands it out byte by byte.
class CWholeFileReader {
  public:
    // Larger files are refused (with ERROR_NOT_ENOUGH_MEMORY) instead of exhausting memory.
    static constexpr std::uint64_t kDefaultSizeLimit = 16u * 1024u * 1024u;

    CWholeFileReader() = default;

    Result LoadAll(const std::filesystem::path& name, std::uint64_t sizeLimit = kDefaultSizeLimit);
    bool IsLoaded() const { return m_loaded; }

    // The size of the loaded data.
    Result GetSize(std::uint64_t& size) const;
    // The next byte (0-255), or -1 when the data is exhausted.
    int ReadByte();
    std::string_view Data() const { return {reinterpret_cast<const char*>(m_buffer.data()), m_buffer.size()}; }

  private:
    std::vector<std::uint8_t> m_buffer;
    std::size_t m_position = 0;
    bool m_loaded = false;
};

// Writes a file that appears under its name, whole, only once Commit() succeeds; until then (and
// after any failure) an earlier file of that name stays as it was. Destroying an uncommitted
// writer discards it.
class CWholeFileWriter {
  public:
    CWholeFileWriter() = default;

    bool IsOpen() const { return m_open; }

    Result Create(const std::filesystem::path& name);
    Result Write(const void* bytes, std::size_t count);
    // Writes the text and then CR LF.
    Result WriteLine(std::string_view utf8);
    // Writes the text in the file's 8-bit character set (ISO-8859-1; other characters become '?').
    Result WriteString(std::string_view utf8);
    // Makes the written file the one under the name.
    Result Commit();
    void Abort();

  private:
    std::unique_ptr<CAtomicFileWriter> m_writer;
    bool m_open = false;
};

}  // namespace rm7
