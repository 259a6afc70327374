// The settings kept in a file (see settings.h); Windows keeps them in the registry instead.
#include "platform/atomic_file.h"
#include "platform/file_handle.h"
#include "platform/paths.h"
#include "platform/settings.h"

#include <system_error>
#include <vector>

namespace rm7 {

namespace {

// Far beyond any real settings file; a bigger one is not ours.
constexpr std::size_t kMaxFileSize = 16u << 20;

}  // namespace

Result CSettingsStore::Load() {
    m_sections.clear();
    m_warning.clear();
    const auto ignored = [this](const std::string& why) {
        m_sections.clear();
        m_warning = "The settings file \"" + m_file.string() + "\" was not used (" + why + "); default settings apply.";
    };

    // Read whole and at once: a FIFO or a device in its place is refused, not waited on.
    std::vector<std::uint8_t> bytes;
    const Result r = ReadWholeFile(m_file, kMaxFileSize, bytes, nullptr, true);
    if (r == kErrorFileNotFound || r == kErrorPathNotFound) {
        return kOk;
    }
    std::error_code ec;
    if (r == kErrorNotSupported || (r != kOk && std::filesystem::is_directory(m_file, ec))) {
        ignored("not a file");
        return kOk;
    }
    if (r == kErrorNotEnoughMemory) {
        ignored("too large");
        return kOk;
    }
    if (r != kOk) {
        ignored("cannot be read");
        return r;
    }
    std::string why;
    if (!FromText(std::string(bytes.begin(), bytes.end()), why)) {
        m_warning = "The settings file \"" + m_file.string() + "\": left out what could not be read (" + why +
                    "); the other settings apply.";
    }
    return kOk;
}

Result CSettingsStore::Save() {
    const auto folder = m_file.parent_path();
    if (!folder.empty()) {
        if (const Result r = EnsureDirectory(folder); r != kOk) {
            return r;
        }
    }
    return WriteFileAtomically(m_file, ToText());
}

}  // namespace rm7
