#include "firmware/release_notes.h"

#include <system_error>
#include <vector>

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

}  // namespace

ReleaseNotes LoadReleaseNotes(const std::string& folder) {
    if (folder.empty()) {
        ReleaseNotes notes;
        notes.path = NotesPath(folder);
        notes.error = StrFormat(kReleaseNotesOpenFailedFormat, SafeToPrint(notes.path.string()).c_str());
        notes.code = kErrorFileNotFound;
        notes.reason = ErrorText(notes.code);
        return notes;
    }
    return ReadReleaseNotes(NotesPath(folder));
}

ReleaseNotes ReadReleaseNotes(const std::filesystem::path& file) {
    ReleaseNotes notes;
    notes.path = file;
    notes.error = StrFormat(kReleaseNotesOpenFailedFormat, SafeToPrint(notes.path.string()).c_str());
    std::vector<std::uint8_t> bytes;
    notes.code = ReadWholeFile(notes.path, kReleaseNotesSizeLimit, bytes, nullptr, true);
    if (notes.code != kOk) {
        notes.reason = ErrorText(notes.code);
        return notes;
    }
    RichTextResult text = ReadRichText(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
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
