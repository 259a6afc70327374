#pragma once
// Small file classes shared by the configuration file and the other readers of whole text files.
// A failing system call is reported to the person at once (status line and an error box with the
// caller's caption), returns its code and stays the thread's last error.
//
// Not thread-safe; one object per file, used on the UI thread. The notifier may be null
// (no reports, codes only) and must outlive the object.
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

class IUserNotifier;

// An open file descriptor, closed by the destructor.
class CFileRead {
  public:
    CFileRead() = default;
    CFileRead(const CFileRead&) = delete;
    CFileRead& operator=(const CFileRead&) = delete;
    virtual ~CFileRead();

    virtual Result GetSize(std::uint64_t& size);
    virtual bool IsOpen() const { return m_fd >= 0; }
    void Close();

  protected:
    int m_fd = -1;
};

// Adds the file name and the reporting of failures.
class CFileRead2 : public CFileRead {
  public:
    CFileRead2(IUserNotifier* owner, std::string caption);

    Result GetSize(std::uint64_t& size) override;
    virtual const std::string& FileName() const { return m_fileName; }

    // Opens for reading (a FIFO or device too: reads then run until end of file).
    Result Open(const std::filesystem::path& name);
    // Reads up to count bytes; bytesRead 0 means end of file.
    Result Read(void* buffer, std::size_t count, std::size_t& bytesRead);

  protected:
    // Shows "<operation> failed on "<file>"" with the code and its text; sets the last error.
    Result Report(std::string_view operation, Result code);
    void SetFileName(const std::filesystem::path& name) { m_fileName = name.string(); }

  private:
    IUserNotifier* m_owner;
    std::string m_caption;
    std::string m_fileName;
};

// Reads a whole file into memory, then hands it out byte by byte.
class CFileRead3 : public CFileRead2 {
  public:
    // Larger files are refused (with ERROR_NOT_ENOUGH_MEMORY) instead of exhausting memory.
    static constexpr std::uint64_t kDefaultSizeLimit = 16u * 1024u * 1024u;

    using CFileRead2::CFileRead2;

    Result GetSize(std::uint64_t& size) override;  // the size of the loaded data
    bool IsOpen() const override { return m_loaded; }

    Result LoadAll(const std::filesystem::path& name, std::uint64_t sizeLimit = kDefaultSizeLimit);
    // The next byte (0-255), or -1 when the data is exhausted.
    int ReadByte();
    std::string_view Data() const { return {reinterpret_cast<const char*>(m_buffer.data()), m_buffer.size()}; }

  private:
    std::vector<std::uint8_t> m_buffer;
    std::size_t m_position = 0;
    bool m_loaded = false;
};

// Writes a file that appears under its name only once Commit() succeeds; until then (and after any
// failure) an earlier file of that name stays as it was. Destroying an uncommitted writer discards it.
class CFileWrite2 : public CFileRead2 {
  public:
    using CFileRead2::CFileRead2;

    bool IsOpen() const override { return m_open; }

    Result Create(const std::filesystem::path& name);
    virtual Result Write(const void* bytes, std::size_t count);
    // Writes the text and then CR LF.
    virtual Result WriteLine(std::string_view utf8);
    // Writes the text in the file's 8-bit character set (ISO-8859-1; other characters become '?').
    virtual Result WriteString(std::string_view utf8);
    // Makes the written file the one under the name.
    Result Commit();
    void Abort();

  private:
    std::unique_ptr<CAtomicFileWriter> m_writer;
    bool m_open = false;
};

}  // namespace rm7
