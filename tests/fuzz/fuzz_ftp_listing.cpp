// Fuzz target for the file server's listing, the one thing a hostile server fully controls.
// Beyond not crashing it checks that
//  - every name taken lands directly in the firmware folder (no separator, no "..", no leading dot,
//    no control character) and is one the name check lets through;
//  - no more names are read than the entry limit allows;
//  - what is chosen for copying is among the names taken, each once.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include "firmware/ftp_copy.h"

namespace {

constexpr std::size_t kMaxEntries = 64;

void Require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "fuzz_ftp_listing: %s\n", what);
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view body(reinterpret_cast<const char*>(data), size);
    const rm7::RemoteListing listing = rm7::ReadListing(body, kMaxEntries);
    Require(listing.names.size() + listing.refused.size() <= kMaxEntries, "more entries than the limit");
    const std::filesystem::path folder = "/fw";
    for (const std::string& name : listing.names) {
        Require(rm7::RefusedRemoteName(name) == nullptr, "a refused name was taken");
        Require(!name.empty() && name.front() != '.', "an empty or hidden name was taken");
        Require(std::none_of(name.begin(), name.end(),
                             [](char c) { return c == '/' || c == '\\' || static_cast<unsigned char>(c) < 0x20; }),
                "a name with a separator or control character was taken");
        Require((folder / name).lexically_normal().parent_path() == folder, "a name leaves the folder");
        Require(body.find(name) != std::string_view::npos, "a name the server never sent");
    }
    for (const auto& refused : listing.refused) {
        Require(refused.second != nullptr && *refused.second != '\0', "a name refused without a reason");
    }
    const rm7::CopySelection selection = rm7::SelectNewerFiles(listing.names, rm7::FolderContents{});
    for (const std::string& name : selection.copy) {
        Require(std::count(listing.names.begin(), listing.names.end(), name) >= 1, "a copy not among the names");
        Require(std::count(selection.copy.begin(), selection.copy.end(), name) == 1, "a name copied twice");
    }
    return 0;
}
