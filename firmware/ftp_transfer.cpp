// The copy's network requests on libcurl (see ftp_transfer.h); Windows has its own on WinINet.
#include "firmware/ftp_transfer.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <mutex>

#include "firmware/ftp_copy.h"
#include "platform/format.h"
#include "platform/os_error.h"
#include "platform/result_codes.h"

namespace rm7 {

namespace {

void GlobalInit() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

Result MapCurlError(CURLcode code) {
    switch (code) {
        case CURLE_OPERATION_TIMEDOUT:
            return kErrInternetTimeout;
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_RESOLVE_PROXY:
            return kErrInternetResolve;
        case CURLE_COULDNT_CONNECT:
            return kErrInternetCannotConnect;
        case CURLE_UNSUPPORTED_PROTOCOL:
            return kErrInternetScheme;
        case CURLE_URL_MALFORMAT:
            return kErrInternetBadUrl;
        case CURLE_LOGIN_DENIED:
            return kErrInternetLogin;
        case CURLE_REMOTE_FILE_NOT_FOUND:
        case CURLE_REMOTE_ACCESS_DENIED:
        case CURLE_FTP_COULDNT_RETR_FILE:
        case CURLE_QUOTE_ERROR:
        case CURLE_FTP_ACCEPT_FAILED:
        case CURLE_FTP_CANT_GET_HOST:
        case CURLE_FTP_PORT_FAILED:
        case CURLE_FTP_COULDNT_USE_REST:
        case CURLE_FTP_COULDNT_SET_TYPE:
            return kErrInternetExtended;
        case CURLE_WEIRD_SERVER_REPLY:
        case CURLE_FTP_WEIRD_PASV_REPLY:
        case CURLE_FTP_WEIRD_227_FORMAT:
        case CURLE_FTP_WEIRD_PASS_REPLY:
        case CURLE_FILESIZE_EXCEEDED:
            return kErrInternetBadResponse;
        case CURLE_PARTIAL_FILE:
        case CURLE_RECV_ERROR:
        case CURLE_SEND_ERROR:
        case CURLE_GOT_NOTHING:
        case CURLE_SSL_CONNECT_ERROR:
            return kErrInternetAborted;
        default:
            return kErrInternetInternal;
    }
}

struct Transfer {
    std::string* body = nullptr;
    std::FILE* file = nullptr;
    std::uint64_t limit = 0;
    std::uint64_t received = 0;
    bool overLimit = false;
    int writeErrno = 0;
    char curlError[CURL_ERROR_SIZE] = {};
    std::atomic<bool>* cancel = nullptr;
    std::atomic<std::uint64_t>* bytes = nullptr;
    std::uint64_t lastPosted = 0;
    IMessagePump* pump = nullptr;
    IMessageTarget* target = nullptr;
};

std::size_t OnData(char* data, std::size_t size, std::size_t count, void* user) {
    auto* t = static_cast<Transfer*>(user);
    const std::size_t n = size * count;
    if (t->received + n > t->limit) {
        t->overLimit = true;
        return 0;
    }
    t->received += n;
    if (t->body != nullptr) {
        t->body->append(data, n);
    } else if (std::fwrite(data, 1, n, t->file) != n) {
        t->writeErrno = errno != 0 ? errno : EIO;
        return 0;
    }
    t->bytes->store(t->received);
    if (t->file != nullptr && t->received - t->lastPosted >= 16384) {
        t->lastPosted = t->received;
        t->pump->Post(t->target, kMsgFtpProgress);
    }
    return n;
}

int OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<Transfer*>(user)->cancel->load() ? 1 : 0;
}

}  // namespace

bool FileUrlPath(const std::string& url, std::string& out) {
    CURLU* u = curl_url();
    char* path = nullptr;
    const bool ok = curl_url_set(u, CURLUPART_URL, url.c_str(), 0) == CURLUE_OK &&
                    curl_url_get(u, CURLUPART_PATH, &path, CURLU_URLDECODE) == CURLUE_OK;
    if (ok) {
        out = path;
    }
    curl_free(path);
    curl_url_cleanup(u);
    return ok;
}

Result CreateDownloadFile(const std::filesystem::path& folder, std::filesystem::path& made, int& handle) {
    std::string pattern = (folder / ".rm7-fetch-XXXXXX").string();
    const int fd = ::mkostemp(pattern.data(), O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        return ResultFromErrno(errno);
    }
    ::fchmod(fd, 0644);
    made = pattern;
    handle = fd;
    return kOk;
}

void CFtpCopyJob::RunRequest(Request& request, const FtpCopyLimits& limits, std::atomic<bool>& cancel,
                             std::atomic<std::uint64_t>& bytes, IMessagePump& pump, IMessageTarget* target) {
    GlobalInit();
    Transfer t;
    t.cancel = &cancel;
    t.bytes = &bytes;
    t.pump = &pump;
    t.target = target;
    if (request.listing && IsFileUrl(request.url)) {
        request.code = ListLocalFolder(request.url, request.body, limits.maxListingBytes);
        pump.Post(target, kMsgFtpRequestComplete);
        return;
    }
    if (request.listing) {
        t.body = &request.body;
        t.limit = limits.maxListingBytes;
    } else {
        t.file = ::fdopen(request.fd, "wb");
        if (t.file == nullptr) {
            request.code = ResultFromErrno(errno);
            ::close(request.fd);
            request.fd = -1;
            std::error_code ec;
            std::filesystem::remove(request.target, ec);
            pump.Post(target, kMsgFtpRequestComplete);
            return;
        }
        request.fd = -1;  // the stream owns it now
        t.limit = limits.maxFileBytes;
    }
    CURL* curl = curl_easy_init();
    CURLcode rc = CURLE_FAILED_INIT;
    long response = 0;
    if (curl != nullptr) {
        curl_easy_setopt(curl, CURLOPT_URL, request.url.c_str());
        curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, IsFileUrl(request.url) ? "file" : "ftp,ftps");
        curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "");
        curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 0L);
        curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, limits.connectTimeoutSeconds);
        curl_easy_setopt(curl, CURLOPT_SERVER_RESPONSE_TIMEOUT, limits.stallTimeoutSeconds);
        curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, limits.lowSpeedBytesPerSecond);
        curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, limits.lowSpeedSeconds);
        curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, t.curlError);
        curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(t.limit));
        curl_easy_setopt(curl, CURLOPT_FTP_USE_EPSV, 1L);
        curl_easy_setopt(curl, CURLOPT_DIRLISTONLY, request.listing ? 1L : 0L);
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &OnData);
        curl_easy_setopt(curl, CURLOPT_WRITEDATA, &t);
        curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &OnProgress);
        curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &t);
        rc = curl_easy_perform(curl);
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &response);
    }
    if (rc == CURLE_OK) {
        request.code = 0;
    } else if (rc == CURLE_ABORTED_BY_CALLBACK || cancel) {
        request.code = kErrorCancelled;
    } else if (t.overLimit || rc == CURLE_FILESIZE_EXCEEDED) {
        request.code = kErrInternetBadResponse;
        request.response = StrFormat("larger than %llu bytes", static_cast<unsigned long long>(t.limit));
    } else if (t.writeErrno != 0) {
        request.code = ResultFromErrno(t.writeErrno);
    } else {
        request.code = MapCurlError(rc);
        if (request.code == kErrInternetExtended) {
            request.response = StrFormat("%ld %s", response, curl_easy_strerror(rc));
        } else if (request.code == kErrInternetTimeout && t.curlError[0] != '\0') {
            // Which wait ran out: the connection, an answer, or a trickle below the low-speed limit.
            request.response = t.curlError;
        }
    }
    if (curl != nullptr) {
        curl_easy_cleanup(curl);
    }
    if (t.file != nullptr && std::fclose(t.file) != 0 && request.code == 0) {
        request.code = ResultFromErrno(errno);
    }
    if (t.file != nullptr && request.code != 0) {
        std::error_code ec;
        std::filesystem::remove(request.target, ec);
    }
    pump.Post(target, kMsgFtpRequestComplete);
}

}  // namespace rm7
