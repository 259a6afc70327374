#include "firmware/ftp_copy.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <mutex>
#include <string_view>
#include <system_error>
#include <utility>

#include "firmware/file_version.h"
#include "firmware/firmware_check.h"
#include "firmware/firmware_image.h"
#include "firmware/release_notes.h"
#include "model/model.h"
#include "platform/error_text.h"
#include "platform/format.h"
#include "platform/os_error.h"
#include "platform/result_codes.h"
#include "platform/settings.h"
#include "platform/text.h"

namespace rm7 {

namespace {

// The step of the copy that opens the firmware folder (it names the folder when it fails).
constexpr std::string_view kOpenFolderStep = "Open Session";

// The copy's steps are traced by the calls the system once made; a person reads what was done.
const char* StepWords(const char* step) {
    static constexpr std::pair<std::string_view, const char*> kWords[] = {
        {"InternetConnect", "Connect to the file server"},
        {kOpenFolderStep, "Open the firmware folder"},
        {"FtpFindFile", "List the firmware files"},
        {"InternetFindNextFile", "List the firmware files"},
        {"FtpGetFile", "Copy the file"},
    };
    for (const auto& [call, words] : kWords) {
        if (call == step) {
            return words;
        }
    }
    return step;
}

}  // namespace

namespace {

constexpr std::uint32_t kMsgRequestComplete = kMsgApp + 0x1F;
constexpr std::uint32_t kMsgProgress = kMsgApp + 0x22;

constexpr Result kErrTimeout = kErrInternetTimeout;
constexpr Result kErrExtended = kErrInternetExtended;
constexpr Result kErrInternal = kErrInternetInternal;
constexpr Result kErrBadUrl = kErrInternetBadUrl;
constexpr Result kErrScheme = kErrInternetScheme;
constexpr Result kErrResolve = kErrInternetResolve;
constexpr Result kErrLogin = kErrInternetLogin;
constexpr Result kErrCannotConnect = kErrInternetCannotConnect;
constexpr Result kErrAborted = kErrInternetAborted;
constexpr Result kErrBadResponse = kErrInternetBadResponse;

bool StartsWith(const std::string& text, const char* prefix) {
    return text.rfind(prefix, 0) == 0;
}

bool IsFileUrl(const std::string& url) {
    return StartsWith(url, "file://");
}

void GlobalInit() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

Result MapCurlError(CURLcode code) {
    switch (code) {
        case CURLE_OPERATION_TIMEDOUT:
            return kErrTimeout;
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_RESOLVE_PROXY:
            return kErrResolve;
        case CURLE_COULDNT_CONNECT:
            return kErrCannotConnect;
        case CURLE_UNSUPPORTED_PROTOCOL:
            return kErrScheme;
        case CURLE_URL_MALFORMAT:
            return kErrBadUrl;
        case CURLE_LOGIN_DENIED:
            return kErrLogin;
        case CURLE_REMOTE_FILE_NOT_FOUND:
        case CURLE_REMOTE_ACCESS_DENIED:
        case CURLE_FTP_COULDNT_RETR_FILE:
        case CURLE_QUOTE_ERROR:
        case CURLE_FTP_ACCEPT_FAILED:
        case CURLE_FTP_CANT_GET_HOST:
        case CURLE_FTP_PORT_FAILED:
        case CURLE_FTP_COULDNT_USE_REST:
        case CURLE_FTP_COULDNT_SET_TYPE:
            return kErrExtended;
        case CURLE_WEIRD_SERVER_REPLY:
        case CURLE_FTP_WEIRD_PASV_REPLY:
        case CURLE_FTP_WEIRD_227_FORMAT:
        case CURLE_FTP_WEIRD_PASS_REPLY:
        case CURLE_FILESIZE_EXCEEDED:
            return kErrBadResponse;
        case CURLE_PARTIAL_FILE:
        case CURLE_RECV_ERROR:
        case CURLE_SEND_ERROR:
        case CURLE_GOT_NOTHING:
        case CURLE_SSL_CONNECT_ERROR:
            return kErrAborted;
        default:
            return kErrInternal;
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
        t->pump->Post(t->target, kMsgProgress);
    }
    return n;
}

int OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<Transfer*>(user)->cancel->load() ? 1 : 0;
}

std::string EscapeName(CURL* curl, const std::string& name) {
    char* escaped = curl_easy_escape(curl, name.c_str(), static_cast<int>(name.size()));
    std::string out = escaped != nullptr ? escaped : "";
    curl_free(escaped);
    return out;
}

// The folder a file:// URL names; false when it is no such URL.
bool LocalPath(const std::string& url, std::string& out) {
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

// The names of the regular files of a local mirror; the same guards as a server's listing.
Result ListLocal(const std::string& url, std::string& body, std::uint64_t limit) {
    std::string path;
    Result code = kErrBadUrl;
    if (LocalPath(url, path)) {
        std::error_code ec;
        std::filesystem::directory_iterator it(path, ec);
        code = ec ? ResultFromErrno(ec.value()) : 0;
        for (; !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
            if (it->is_regular_file(ec)) {
                body += it->path().filename().string() + "\r\n";
                if (body.size() > limit) {
                    code = kErrBadResponse;
                    break;
                }
            }
        }
        if (ec && code == 0) {
            code = ResultFromErrno(ec.value());
        }
    }
    return code;
}

}  // namespace

std::string FirmwareDirectoryUrl(const std::string& server) {
    const bool file = StartsWith(server, "file:///");
    if (!file && !StartsWith(server, "ftp://") && !StartsWith(server, "ftps://")) {
        return {};
    }
    const std::size_t host = server.find("://") + 3;
    if (!file && (host >= server.size() || server[host] == '/')) {
        return {};  // no host
    }
    std::string url = server;
    while (url.back() == '/') {
        url.pop_back();
    }
    // A mirror of the server keeps its layout; a folder that holds the files itself (what
    // rm7-sim --make-firmware writes) is used as it is.
    std::string path;
    std::error_code ec;
    if (file && LocalPath(url + "/", path) && !std::filesystem::is_directory(path + "/RM7/firmware", ec) &&
        std::filesystem::is_directory(path, ec)) {
        return url + "/";
    }
    return url + "/RM7/firmware/";
}

CFtpCopyJob::CFtpCopyJob(IMessagePump& pump, std::filesystem::path folder, FolderContents local, std::string server,
                         LineHandler onLine, DoneHandler onDone)
    : m_pump(pump),
      m_folder(std::move(folder)),
      m_local(std::move(local)),
      m_server(std::move(server)),
      m_onLine(std::move(onLine)),
      m_onDone(std::move(onDone)) {}

CFtpCopyJob::~CFtpCopyJob() {
    m_cancel = true;
    Join();
    if (!m_request.listing && !m_request.target.empty()) {
        std::error_code ec;
        std::filesystem::remove(m_request.target, ec);
    }
    m_pump.Forget(this);
}

void CFtpCopyJob::Log(const std::string& line) {
    if (m_onLine) {
        m_onLine(line);
    }
}

void CFtpCopyJob::Trace(const std::string& line) {
    if (m_trace) {
        Log(line);
    }
}

void CFtpCopyJob::Join() {
    if (m_worker.joinable()) {
        m_worker.join();
    }
}

void CFtpCopyJob::Start() {
    m_copyList.clear();
    m_copyIndex = -1;
    m_copiedNames.clear();
    m_result = 0;
    m_cancel = false;
    const std::string url = FirmwareDirectoryUrl(m_server);
    m_refused.clear();
    m_firstRefusal = 0;
    Log(StrFormat("Open connection to %s", SafeToPrint(m_server).c_str()));
    m_state = FtpState::Connecting;
    if (url.empty()) {
        Finish("InternetConnect", kErrScheme);
        return;
    }
    std::error_code ec;
    if (!std::filesystem::is_directory(m_folder, ec)) {
        Finish("Open Session", ResultFromErrno(ec ? ec.value() : ENOENT));
        return;
    }
    Trace(StrFormat("Navigate to %s", "RM7/firmware"));
    m_state = FtpState::FindingFirst;
    Request request;
    request.listing = true;
    request.url = url;
    Launch(std::move(request));
}

void CFtpCopyJob::Launch(Request request) {
    Join();
    m_request = std::move(request);
    m_bytes = 0;
    m_worker = std::thread([this] { RunRequest(m_request, m_limits, m_cancel, m_bytes, m_pump, this); });
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
        request.code = ListLocal(request.url, request.body, limits.maxListingBytes);
        pump.Post(target, kMsgRequestComplete);
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
            pump.Post(target, kMsgRequestComplete);
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
        request.code = kErrCancelled;
    } else if (t.overLimit || rc == CURLE_FILESIZE_EXCEEDED) {
        request.code = kErrBadResponse;
        request.response = StrFormat("larger than %llu bytes", static_cast<unsigned long long>(t.limit));
    } else if (t.writeErrno != 0) {
        request.code = ResultFromErrno(t.writeErrno);
    } else {
        request.code = MapCurlError(rc);
        if (request.code == kErrExtended) {
            request.response = StrFormat("%ld %s", response, curl_easy_strerror(rc));
        } else if (request.code == kErrTimeout && t.curlError[0] != '\0') {
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
    pump.Post(target, kMsgRequestComplete);
}

LResult CFtpCopyJob::OnMessage(std::uint32_t code, WParam, LParam) {
    if (code == kMsgProgress) {
        if (m_state == FtpState::GettingFile && m_onProgress && m_copyIndex >= 0) {
            m_onProgress(m_copyList[static_cast<std::size_t>(m_copyIndex)], m_bytes.load());
        }
        return 0;
    }
    if (code != kMsgRequestComplete) {
        return 0;
    }
    Join();
    if (m_state == FtpState::Idle) {
        // The run ended (Cancel) while the request was under way: keep nothing of it.
        if (!m_request.listing && !m_request.target.empty()) {
            std::error_code ec;
            std::filesystem::remove(m_request.target, ec);
        }
        return 0;
    }
    if (m_state == FtpState::FindingFirst) {
        OnListed();
    } else if (m_state == FtpState::GettingFile) {
        OnFileDone();
    }
    return 0;
}

void CFtpCopyJob::OnListed() {
    if (m_request.code != 0) {
        Finish("FtpFindFile", m_request.code, true);
        return;
    }
    Log("Connected to Tarnwell server\nPlease be patient, this takes a few seconds");
    if (m_cancel) {
        Finish("File Find Complete", kErrCancelled);
        return;
    }
    const RemoteListing listing = ReadListing(m_request.body, m_limits.maxEntries);
    for (const auto& [name, why] : listing.refused) {
        Log(StrFormat("Skipped %s: %s", SafeToPrint(name).c_str(), why));
    }
    if (listing.tooMany) {
        Finish("InternetFindNextFile", kErrBadResponse, true);
        return;
    }
    const std::vector<std::string>& names = listing.names;
    const CopySelection selection = SelectNewerFiles(names, m_local);
    for (const std::string& name : names) {
        const bool taken = std::find(selection.copy.begin(), selection.copy.end(), name) != selection.copy.end();
        Trace(StrFormat(taken ? "Found %s" : "Skipped %s", SafeToPrint(name).c_str()));
    }
    if (m_cancel) {
        Finish("Directory Read Complete", kErrCancelled);
        return;
    }
    m_copyList = selection.copy;
    if (m_copyList.empty()) {
        Finish("All Copy Complete", 0);
        return;
    }
    Log(StrFormat("Copying files to %s", SafeToPrint(m_folder.string()).c_str()));
    CopyNext();
}

void CFtpCopyJob::CopyNext() {
    if (m_state == FtpState::Idle) {
        return;
    }
    ++m_copyIndex;
    if (static_cast<std::size_t>(m_copyIndex) >= m_copyList.size()) {
        Log(StrFormat("Copied %u files from Tarnwell to %s", Copied(), SafeToPrint(m_folder.string()).c_str()));
        if (!m_refused.empty()) {
            // A newer file was offered and is not in the folder: the run did not do its job.
            Log(StrFormat("Refused %zu of %zu files", m_refused.size(), m_copyList.size()));
            Finish("All Copy Complete", m_firstRefusal, true);
            return;
        }
        Finish("All Copy Complete", 0);
        return;
    }
    if (m_cancel) {
        Finish("File Copy", kErrCancelled);
        return;
    }
    const std::string& name = m_copyList[static_cast<std::size_t>(m_copyIndex)];
    m_state = FtpState::GettingFile;
    Request request;
    request.url = FirmwareDirectoryUrl(m_server);
    {
        CURL* curl = curl_easy_init();
        request.url += EscapeName(curl, name);
        curl_easy_cleanup(curl);
    }
    // An unpredictable name made here, never one the server's listing chose: whatever the folder
    // holds (a link planted under a name a download would use), nothing is opened through it.
    std::string pattern = (m_folder / ".rm7-fetch-XXXXXX").string();
    const int fd = ::mkostemp(pattern.data(), O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        const Result code = ResultFromErrno(errno);
        Log(StrFormat("Unable to copy file %s", SafeToPrint(name).c_str()));
        Finish("FtpGetFile", code, true);
        return;
    }
    ::fchmod(fd, 0644);
    request.target = pattern;
    request.fd = fd;
    Launch(std::move(request));
}

void CFtpCopyJob::Refuse(const std::string& name, Result code, const std::string& reason) {
    if (m_refused.empty()) {
        m_firstRefusal = code;
    }
    m_refused.push_back({name, reason});
    Log(StrFormat("Unable to copy file %s: %s", SafeToPrint(name).c_str(), SafeToPrint(reason).c_str()));
}

void CFtpCopyJob::OnFileDone() {
    const std::string name = m_copyList[static_cast<std::size_t>(m_copyIndex)];
    const std::string shown = SafeToPrint(name);
    const std::filesystem::path temp = m_request.target;
    m_request.target.clear();
    if (m_request.code != 0) {
        Log(StrFormat("Unable to copy file %s", shown.c_str()));
        Finish("FtpGetFile", m_request.code, true);
        return;
    }
    // Kept only if it passes what will read it later: the loader's whole check, or the notes' reader.
    Result refusal = kOk;
    std::string reason;
    if (SameNameNoCase(name, kReleaseNotesName)) {
        const ReleaseNotes notes = ReadReleaseNotes(temp);
        if (!notes.ok) {
            refusal = notes.code;
            reason = notes.reason;
        }
    } else {
        const FirmwareFileCheck check = CheckFirmwareFile(temp, FirmwareKindFromName(name), name);
        if (check.result != kOk) {
            refusal = check.result;
            reason = StrFormat(kFirmwareFileErrorFormat, check.line, check.result, ErrorText(check.result).c_str());
        }
        Log(StrFormat(check.result == kOk ? "File verified %s" : "File %s verify failed", shown.c_str()));
    }
    const std::filesystem::path final = m_folder / name;
    // A file that fails its check is kept for a look, under a name the folder scan never takes.
    // rename() replaces a link found under either name; it never writes through it.
    const std::filesystem::path kept = refusal == kOk ? final : std::filesystem::path(final.string() + ".rejected");
    std::error_code ec;
    std::filesystem::rename(temp, kept, ec);
    if (ec) {
        std::error_code ignored;
        std::filesystem::remove(temp, ignored);
        if (refusal == kOk) {
            refusal = ResultFromErrno(ec.value());
            reason = ErrorText(refusal);
        }
    }
    if (refusal == kOk) {
        m_copiedNames.push_back(name);
        Log(StrFormat("Copied %s from Tarnwell", shown.c_str()));
    } else {
        Refuse(name, refusal, reason);
    }
    if (m_cancel) {
        Finish("File Copy Complete", kErrCancelled);
        return;
    }
    CopyNext();
}

void CFtpCopyJob::Cancel() {
    if (m_state == FtpState::Idle) {
        return;
    }
    m_cancel = true;
    Finish("Cancel Button", kErrCancelled);
}

void CFtpCopyJob::Finish(const char* step, Result code, bool force) {
    if (m_state == FtpState::Idle) {
        return;  // a handler of a log line ended the run already (Cancel)
    }
    if (code != 0) {
        Trace(StrFormat("FtpDlg::Finish %s State %u dwErrorCode 0x%08X fForceError %u", step,
                        static_cast<unsigned>(m_state), code, force ? 1u : 0u));
    }
    m_result = code;
    if (code != 0 || force) {
        std::string text = ErrorText(code);
        // Only a request's own failure names a response, and its worker has ended by then; a
        // Cancel may come while the worker still fills the request.
        if ((code == kErrExtended || code == kErrBadResponse || code == kErrTimeout) && !m_request.response.empty()) {
            Trace(StrFormat("InternetGetLastResponseInfo returns 0x%08X", code));
            text += StrFormat("\r\nThe server answered: %s", SafeToPrint(m_request.response).c_str());
        }
        if (std::string_view(step) == kOpenFolderStep) {
            text = SafeToPrint(m_folder.string()) + ": " + text;
        } else if (std::string_view(step) == "FtpFindFile" && code < 12000) {
            // A mirror folder that is not there: the system's words, with its path.
            text = SafeToPrint(m_server) + ": " + text;
        }
        Log(StrFormat("%s completed with error 0x%08X: %s", StepWords(step), code, text.c_str()));
    }
    m_state = FtpState::Idle;
    const int result = code == 0 ? kFtpResultDone : code == kErrCancelled ? kFtpResultCancelled : kFtpResultFailed;
    if (m_onDone) {
        m_onDone(result);
    }
}

}  // namespace rm7
