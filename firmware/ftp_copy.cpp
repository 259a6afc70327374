#include "firmware/ftp_copy.h"

#include <algorithm>
#include <cerrno>
#include <string_view>
#include <system_error>
#include <utility>

#include "firmware/file_version.h"
#include "firmware/firmware_check.h"
#include "firmware/firmware_image.h"
#include "firmware/ftp_transfer.h"
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

std::string EscapeUrlName(const std::string& name) {
    static constexpr char kHexDigits[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : name) {
        const auto b = static_cast<unsigned char>(c);
        if ((b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || (b >= '0' && b <= '9') || b == '-' || b == '.' ||
            b == '_' || b == '~') {
            out.push_back(c);
        } else {
            out += '%';
            out.push_back(kHexDigits[b >> 4]);
            out.push_back(kHexDigits[b & 0x0F]);
        }
    }
    return out;
}

Result ListLocalFolder(const std::string& url, std::string& body, std::uint64_t limit) {
    std::string path;
    Result code = kErrInternetBadUrl;
    if (FileUrlPath(url, path)) {
        std::error_code ec;
        std::filesystem::directory_iterator it(path, ec);
        code = ec ? ResultFromErrno(ec.value()) : 0;
        for (; !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
            if (it->is_regular_file(ec)) {
                body += it->path().filename().string() + "\r\n";
                if (body.size() > limit) {
                    code = kErrInternetBadResponse;
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

std::string FirmwareDirectoryUrl(const std::string& server) {
    const bool file = server.starts_with("file:///");
    if (!file && !server.starts_with("ftp://") && !server.starts_with("ftps://")) {
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
    if (file && FileUrlPath(url + "/", path) && !std::filesystem::is_directory(path + "/RM7/firmware", ec) &&
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
        Finish("InternetConnect", kErrInternetScheme);
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

LResult CFtpCopyJob::OnMessage(std::uint32_t code, WParam, LParam) {
    if (code == kMsgFtpProgress) {
        if (m_state == FtpState::GettingFile && m_onProgress && m_copyIndex >= 0) {
            m_onProgress(m_copyList[static_cast<std::size_t>(m_copyIndex)], m_bytes.load());
        }
        return 0;
    }
    if (code != kMsgFtpRequestComplete) {
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
        Finish("File Find Complete", kErrorCancelled);
        return;
    }
    const RemoteListing listing = ReadListing(m_request.body, m_limits.maxEntries);
    for (const auto& [name, why] : listing.refused) {
        Log(StrFormat("Skipped %s: %s", SafeToPrint(name).c_str(), why));
    }
    if (listing.tooMany) {
        Finish("InternetFindNextFile", kErrInternetBadResponse, true);
        return;
    }
    const std::vector<std::string>& names = listing.names;
    const CopySelection selection = SelectNewerFiles(names, m_local);
    for (const std::string& name : names) {
        const bool taken = std::find(selection.copy.begin(), selection.copy.end(), name) != selection.copy.end();
        Trace(StrFormat(taken ? "Found %s" : "Skipped %s", SafeToPrint(name).c_str()));
    }
    if (m_cancel) {
        Finish("Directory Read Complete", kErrorCancelled);
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
        Finish("File Copy", kErrorCancelled);
        return;
    }
    const std::string& name = m_copyList[static_cast<std::size_t>(m_copyIndex)];
    m_state = FtpState::GettingFile;
    Request request;
    request.url = FirmwareDirectoryUrl(m_server) + EscapeUrlName(name);
    // An unpredictable name made here, never one the server's listing chose: whatever the folder
    // holds (a link planted under a name a download would use), nothing is opened through it.
    if (const Result code = CreateDownloadFile(m_folder, request.target, request.fd); code != kOk) {
        Log(StrFormat("Unable to copy file %s", SafeToPrint(name).c_str()));
        Finish("FtpGetFile", code, true);
        return;
    }
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
        Finish("File Copy Complete", kErrorCancelled);
        return;
    }
    CopyNext();
}

void CFtpCopyJob::Cancel() {
    if (m_state == FtpState::Idle) {
        return;
    }
    m_cancel = true;
    Finish("Cancel Button", kErrorCancelled);
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
        if ((code == kErrInternetExtended || code == kErrInternetBadResponse || code == kErrInternetTimeout) &&
            !m_request.response.empty()) {
            Trace(StrFormat("InternetGetLastResponseInfo returns 0x%08X", code));
            text += StrFormat("\r\nThe server answered: %s", SafeToPrint(m_request.response).c_str());
        }
        if (std::string_view(step) == kOpenFolderStep) {
            text = SafeToPrint(m_folder.string()) + ": " + text;
        } else if (std::string_view(step) == "FtpFindFile" && code < kInternetErrorFirst) {
            // A mirror folder that is not there: the system's words, with its path.
            text = SafeToPrint(m_server) + ": " + text;
        }
        Log(StrFormat("%s completed with error 0x%08X: %s", StepWords(step), code, text.c_str()));
    }
    m_state = FtpState::Idle;
    const int result = code == 0 ? kFtpResultDone : code == kErrorCancelled ? kFtpResultCancelled : kFtpResultFailed;
    if (m_onDone) {
        m_onDone(result);
    }
}

}  // namespace rm7
