#include "config/file_classes.h"

#include <cstdio>
#include <new>

#include "platform/error_text.h"
#include "platform/file_handle.h"
#include "platform/last_error.h"
#include "platform/os_error.h"
#include "platform/result_codes.h"
#include "platform/text.h"

namespace rm7 {

namespace {

Result Failure(Result code) {
    SetLastError(code);
    return code;
}

}  // namespace

std::string FileFailureText(const std::filesystem::path& path, Result code) {
    return SafeToPrint(path.string()) + ": " + ErrorText(code);
}

Result CWholeFileReader::GetSize(std::uint64_t& size) const {
    size = m_buffer.size();
    return kOk;
}

Result CWholeFileReader::LoadAll(const std::filesystem::path& name, std::uint64_t sizeLimit) {
    m_buffer.clear();
    m_position = 0;
    m_loaded = false;
    // A pipe is read whole too.
    if (const Result r = ReadWholeFile(name, sizeLimit, m_buffer); r != kOk) {
        return Failure(r);
    }
    m_loaded = true;
    return kOk;
}

int CWholeFileReader::ReadByte() {
    if (m_position >= m_buffer.size()) {
        return -1;
    }
    return m_buffer[m_position++];
}

Result CWholeFileWriter::Create(const std::filesystem::path& name) {
    Abort();
    m_writer = std::make_unique<CAtomicFileWriter>();
    if (const Result r = m_writer->Open(name); r != kOk) {
        m_writer.reset();
        return Failure(r);
    }
    m_open = true;
    return kOk;
}

Result CWholeFileWriter::Write(const void* bytes, std::size_t count) {
    if (!m_open) {
        return Failure(kErrorInvalidHandle);
    }
    if (const Result r = m_writer->Write(bytes, count); r != kOk) {
        return Failure(r);
    }
    return kOk;
}

Result CWholeFileWriter::WriteString(std::string_view utf8) {
    const std::string bytes = Utf8ToLatin1(utf8);
    return Write(bytes.data(), bytes.size());
}

Result CWholeFileWriter::WriteLine(std::string_view utf8) {
    if (const Result r = WriteString(utf8); r != kOk) {
        return r;
    }
    return Write("\r\n", 2);
}

Result CWholeFileWriter::Commit() {
    if (!m_open) {
        return Failure(kErrorInvalidHandle);
    }
    m_open = false;
    const Result r = m_writer->Commit();
    m_writer.reset();
    return r == kOk ? r : Failure(r);
}

void CWholeFileWriter::Abort() {
    if (m_writer) {
        m_writer->Abort();
        m_writer.reset();
    }
    m_open = false;
}

}  // namespace rm7
