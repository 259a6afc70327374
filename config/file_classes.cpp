#include "config/file_classes.h"

#include <cstdio>
#include <new>

#include "model/user_notifier.h"
#include "platform/file_handle.h"
#include "platform/last_error.h"
#include "platform/os_error.h"
#include "platform/result_codes.h"
#include "platform/text.h"

namespace rm7 {

CFileErrorReporter::CFileErrorReporter(IUserNotifier* owner, std::string caption)
    : m_owner(owner), m_caption(std::move(caption)) {}

Result CFileErrorReporter::Report(std::string_view operation, Result code) {
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

Result CWholeFileReader::GetSize(std::uint64_t& size) const {
    size = m_buffer.size();
    return kOk;
}

Result CWholeFileReader::LoadAll(const std::filesystem::path& name, std::uint64_t sizeLimit) {
    m_buffer.clear();
    m_position = 0;
    m_loaded = false;
    m_reporter.SetFileName(name);
    WholeFileStep step = WholeFileStep::Open;
    // A pipe is read whole too.
    if (const Result r = ReadWholeFile(name, sizeLimit, m_buffer, &step); r != kOk) {
        const bool sizeRefused = step == WholeFileStep::Size && r == kErrorNotEnoughMemory;
        return m_reporter.Report(step == WholeFileStep::Open                   ? "CreateFile"
                                 : step == WholeFileStep::Size && !sizeRefused ? "GetFileSize"
                                                                               : "ReadFile",
                                 r);
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
    m_reporter.SetFileName(name);
    m_writer = std::make_unique<CAtomicFileWriter>();
    if (const Result r = m_writer->Open(name); r != kOk) {
        m_writer.reset();
        return m_reporter.Report("CreateFile", r);
    }
    m_open = true;
    return kOk;
}

Result CWholeFileWriter::Write(const void* bytes, std::size_t count) {
    if (!m_open) {
        return m_reporter.Report("WriteFile", kErrorInvalidHandle);
    }
    if (const Result r = m_writer->Write(bytes, count); r != kOk) {
        return m_reporter.Report("WriteFile", r);
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
        return m_reporter.Report("WriteFile", kErrorInvalidHandle);
    }
    m_open = false;
    const Result r = m_writer->Commit();
    m_writer.reset();
    // The rename is what makes the new file visible; name it as the replace it is.
    return r == kOk ? r : m_reporter.Report("ReplaceFile", r);
}

void CWholeFileWriter::Abort() {
    if (m_writer) {
        m_writer->Abort();
        m_writer.reset();
    }
    m_open = false;
}

}  // namespace rm7
