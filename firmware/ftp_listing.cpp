// What the copy from the file server decides, apart from the transfers themselves: the server,
// its folder, which names may be written here and which files are worth a copy.
#include <algorithm>
#include <cctype>

#include "firmware/file_version.h"
#include "firmware/firmware_check.h"
#include "firmware/ftp_copy.h"
#include "firmware/release_notes.h"
#include "model/model.h"
#include "platform/settings.h"
#include "platform/text.h"

namespace rm7 {

namespace {

constexpr std::size_t kMaxNameLength = 255;

}  // namespace

bool SameNameNoCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

RemoteListing ReadListing(std::string_view body, std::size_t maxEntries) {
    RemoteListing listing;
    std::size_t start = 0;
    while (start < body.size()) {
        std::size_t end = body.find('\n', start);
        if (end == std::string_view::npos) {
            end = body.size();
        }
        std::string name(body.substr(start, end - start));
        start = end + 1;
        if (!name.empty() && name.back() == '\r') {
            name.pop_back();
        }
        // A name listed twice would be fetched and counted twice.
        if (name.empty() || name == "." || name == ".." ||
            std::find(listing.names.begin(), listing.names.end(), name) != listing.names.end()) {
            continue;
        }
        if (listing.names.size() + listing.refused.size() >= maxEntries) {
            listing.tooMany = true;
            break;
        }
        if (const char* why = RefusedRemoteName(name)) {
            listing.refused.emplace_back(std::move(name), why);
        } else {
            listing.names.push_back(std::move(name));
        }
    }
    return listing;
}

std::string ChosenFileServer(const CModel& model) {
    if (!model.fileServerForRun.empty()) {
        return model.fileServerForRun;
    }
    std::string server;
    if (model.Settings() == nullptr || model.Settings()->ReadString("", kFileServerName, server) != kOk ||
        server.empty()) {
        server = kDefaultFileServer;
    }
    return server;
}

const char* RefusedRemoteName(const std::string& name) {
    if (name.empty() || name.size() > kMaxNameLength) {
        return "the name is empty or too long";
    }
    if (name.front() == '.') {
        return "the name begins with a dot";
    }
    for (unsigned char c : name) {
        if (c == '/' || c == '\\') {
            return "the name holds a path separator";
        }
        if (c < 0x20 || c == 0x7F) {
            return "the name holds a control character";
        }
    }
    if (name.find(':') != std::string::npos) {
        return "the name holds a path separator";
    }
    return nullptr;
}

CopySelection SelectNewerFiles(const std::vector<std::string>& remoteNames, const FolderContents& local) {
    CopySelection selection;
    std::array<std::uint16_t, kFirmwareKindCount> held = {local.Mcu().version, local.Dsp().version};
    bool notes = local.releaseNotes;
    for (const std::string& name : remoteNames) {
        bool take = false;
        if (SameNameNoCase(name, kReleaseNotesName)) {
            take = true;
            notes = true;
        } else {
            const std::filesystem::path path(name);
            std::string ext = path.extension().string();
            const FirmwareKind kind = FirmwareKindFromName(path);
            if (SameNameNoCase(ext, ".hex") && kind != FirmwareKind::Unknown) {
                const std::size_t k = kind == FirmwareKind::Mcu ? kKindMcu : kKindDsp;
                const std::uint16_t version = FileVersion(path);
                if (version > held[k]) {
                    held[k] = version;
                    take = true;
                }
            }
        }
        (take ? selection.copy : selection.skipped).push_back(name);
    }
    if (notes && selection.copy.size() == 1 && SameNameNoCase(selection.copy.front(), kReleaseNotesName)) {
        selection.skipped.push_back(selection.copy.front());
        selection.copy.clear();
    }
    return selection;
}

}  // namespace rm7
