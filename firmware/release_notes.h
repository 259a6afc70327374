#pragma once
// The firmware's release notes: "ffwnotes.rtf" in the firmware folder, read and turned into a
// document for the release-notes window and rm7util.
#include <cstdint>
#include <filesystem>
#include <string>

#include "firmware/rich_text.h"
#include "platform/result.h"

namespace rm7 {

inline constexpr const char* kReleaseNotesTitle = "Firmware Release Notes";
inline constexpr const char* kReleaseNotesErrorCaption = "Release Notes Error";
inline constexpr const char* kReleaseNotesOpenFailedFormat = "Unable to open Firmware Release Notes \"%s\"";
// Release notes are a few pages; a file far larger is not one.
inline constexpr std::uint64_t kReleaseNotesSizeLimit = 16u << 20;

struct ReleaseNotes {
    bool ok = false;
    std::filesystem::path path;  // what was opened, or would have been
    RichDocument document;
    std::string error;   // "Unable to open Firmware Release Notes ..." when not ok
    std::string reason;  // and why: the system's text, or what the reader found
    Result code = kOk;
};

// One file read as the notes: what the release-notes window would show of it, or why not.
ReleaseNotes ReadReleaseNotes(const std::filesystem::path& file);

// An empty folder names the bare file. The name is found in any case, as the folder scan finds it.
ReleaseNotes LoadReleaseNotes(const std::string& folder);

}  // namespace rm7
