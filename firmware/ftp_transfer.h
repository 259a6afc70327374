#pragma once
// The system's half of the copy from the file server, under the job in ftp_copy.cpp: the network
// requests (ftp_transfer.cpp on libcurl, win/ftp_transfer.cpp on WinINet), the download's temporary
// file and the folder a file:// URL names. CFtpCopyJob::RunRequest is also the system's own.
#include <cstdint>
#include <filesystem>
#include <string>

#include "model/messages.h"
#include "platform/message_pump.h"
#include "platform/result.h"

namespace rm7 {

inline bool IsFileUrl(const std::string& url) {
    return url.rfind("file://", 0) == 0;
}

// The folder or file a file:// URL names, decoded; false when it is no such URL.
bool FileUrlPath(const std::string& url, std::string& path);

// A new, empty file in folder under an unpredictable name, made there exclusively: nothing found
// in the folder (a link planted under a name a download would use) is opened. handle is the
// system's, for the request's worker, which closes it.
Result CreateDownloadFile(const std::filesystem::path& folder, std::filesystem::path& made, int& handle);

// The names of the regular files of a local mirror, one a line, in place of a server's listing;
// a body above limit is the server's bad response.
Result ListLocalFolder(const std::string& url, std::string& body, std::uint64_t limit);

// The name as it stands in a URL: every byte but ASCII letters, digits and -._~ as %XX.
std::string EscapeUrlName(const std::string& name);

}  // namespace rm7
