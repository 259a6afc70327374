#include "firmware/release_notes.h"

#include <system_error>

#include "firmware/firmware_folder.h"
#include "platform/error_text.h"
#include "platform/file_handle.h"
#include "platform/format.h"
#include "platform/text.h"

namespace rm7 {
namespace {

std::filesystem::path NotesPath(const std::string& folder) {
    if (folder.empty()) {
        return kReleaseNotesName;
    }
    const std::filesystem::path exact = std::filesystem::path(folder) / kReleaseNotesName;
    std::error_code ec;
    if (std::filesystem::exists(exact, ec)) {
        return exact;
    }
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (EqualsNoCase(it->path().filename().string(), kReleaseNotesName)) {
            return it->path();
        }
    }
    return exact;
}

Result ReadWhole(const std::filesystem::path& path, std::string& bytes) {
    CFileHandle file;
    Result r = file.Open(path);
    if (r != kOk) {
        return r;
    }
    char block[16384];
    for (;;) {
        std::size_t count = 0;
        r = file.Read(block, sizeof block, count);
        if (r != kOk) {
            return r;
        }
        if (count == 0) {
            return kOk;
        }
        if (bytes.size() + count > kReleaseNotesSizeLimit) {
            return kErrorNotEnoughMemory;
        }
        bytes.append(block, count);
    }
}

}  // namespace

ReleaseNotes LoadReleaseNotes(const std::string& folder) {
    ReleaseNotes notes;
    notes.path = NotesPath(folder);
    notes.error = StrFormat(kReleaseNotesOpenFailedFormat, notes.path.string().c_str());
    if (folder.empty()) {
        notes.code = kErrorFileNotFound;
        notes.reason = ErrorText(notes.code);
        return notes;
    }
    std::string bytes;
    notes.code = ReadWhole(notes.path, bytes);
    if (notes.code != kOk) {
        notes.reason = ErrorText(notes.code);
        return notes;
    }
    RichTextResult text = ReadRichText(bytes);
    if (!text.ok) {
        notes.code = kErrorInvalidData;
        notes.reason = text.error;
        return notes;
    }
    notes.ok = true;
    notes.error.clear();
    notes.document = std::move(text.document);
    return notes;
}

}  // namespace rm7
