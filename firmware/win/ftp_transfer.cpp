// The copy's network requests on WinINet, the system's own FTP (see ftp_transfer.h). Each runs
// blocking on the job's worker thread; a watch beside it closes the session on a Cancel or a
// stall, which ends the call under way at once.
#include "firmware/ftp_transfer.h"

#include <windows.h>
#include <wininet.h>

#include <cctype>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <random>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "firmware/ftp_copy.h"
#include "platform/file_handle.h"
#include "platform/format.h"
#include "platform/result_codes.h"
#include "platform/text.h"
#include "platform/win/wide_text.h"

namespace rm7 {

namespace {

constexpr DWORD kBlockSize = 16384;

// %XX undone; false on a broken escape or a NUL.
bool PercentDecode(const std::string& text, std::string& out) {
    out.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out.push_back(text[i]);
            continue;
        }
        const int hi = i + 2 < text.size() ? HexDigitValue(text[i + 1]) : -1;
        const int lo = i + 2 < text.size() ? HexDigitValue(text[i + 2]) : -1;
        if (hi < 0 || lo < 0 || (hi == 0 && lo == 0)) {
            return false;
        }
        out.push_back(static_cast<char>(hi * 16 + lo));
        i += 2;
    }
    return true;
}

struct FtpUrl {
    std::wstring host;
    INTERNET_PORT port = INTERNET_DEFAULT_FTP_PORT;
    std::wstring path;  // from the server's root, decoded
};

// ftp://host[:port]/path; ftps is not among WinINet's protocols.
Result ParseFtpUrl(const std::string& url, FtpUrl& out) {
    if (url.rfind("ftp://", 0) != 0) {
        return kErrInternetScheme;
    }
    const std::string rest = url.substr(6);
    const std::size_t slash = rest.find('/');
    std::string authority = rest.substr(0, slash);
    std::string path;
    if (authority.empty() || authority.find('@') != std::string::npos ||
        !PercentDecode(slash == std::string::npos ? "/" : rest.substr(slash), path)) {
        return kErrInternetBadUrl;
    }
    if (const std::size_t colon = authority.rfind(':'); colon != std::string::npos) {
        const std::string digits = authority.substr(colon + 1);
        unsigned long port = 0;
        for (const char c : digits) {
            if (c < '0' || c > '9' || (port = port * 10 + static_cast<unsigned long>(c - '0')) > 65535) {
                return kErrInternetBadUrl;
            }
        }
        if (digits.empty() || port == 0) {
            return kErrInternetBadUrl;
        }
        out.port = static_cast<INTERNET_PORT>(port);
        authority.resize(colon);
    }
    out.host = Utf8ToWide(authority);
    out.path = Utf8ToWide(path);
    return kOk;
}

// An Internet handle, closed once, by whichever of the worker and the canceller comes first.
class CInternet {
  public:
    explicit CInternet(HINTERNET handle = nullptr) : m_handle(handle) {}
    CInternet(const CInternet&) = delete;
    CInternet& operator=(const CInternet&) = delete;
    ~CInternet() { Close(); }
    HINTERNET Get() const { return m_handle; }
    // Gives the handle up unclosed: its parent's closing took it along.
    HINTERNET Release() { return std::exchange(m_handle, nullptr); }
    void Close() {
        if (m_handle != nullptr) {
            ::InternetCloseHandle(m_handle);
            m_handle = nullptr;
        }
    }

  private:
    HINTERNET m_handle;
};

// Closes the session when the run is cancelled, or when the request has made no progress for the
// stall limit (WinINet's own time-outs do not reach every wait of its FTP calls), which makes the
// call under way in the worker fail at once.
class CSessionWatch {
  public:
    enum class Closed { No, Cancelled, Stalled };

    CSessionWatch(std::atomic<bool>& cancel, HINTERNET session, long stallSeconds)
        : m_lastProgress(NowMs()), m_thread([this, &cancel, session, stallMs = stallSeconds * 1000] {
              std::unique_lock lock(m_mutex);
              while (!m_done) {
                  const bool stalled = NowMs() - m_lastProgress.load() > stallMs;
                  if (cancel || stalled) {
                      ::InternetCloseHandle(session);
                      m_closed = cancel ? Closed::Cancelled : Closed::Stalled;
                      m_hasClosed = true;
                      return;
                  }
                  m_wake.wait_for(lock, std::chrono::milliseconds(50));
              }
          }) {}
    ~CSessionWatch() { Stop(); }
    CSessionWatch(const CSessionWatch&) = delete;
    CSessionWatch& operator=(const CSessionWatch&) = delete;

    // Something arrived: the stall limit starts again.
    void Progress() { m_lastProgress = NowMs(); }
    bool HasClosed() const { return m_hasClosed; }
    // Ends the watch; whether (and why) it closed the session.
    Closed Stop() {
        {
            std::lock_guard lock(m_mutex);
            m_done = true;
        }
        m_wake.notify_one();
        if (m_thread.joinable()) {
            m_thread.join();
        }
        return m_closed;
    }

  private:
    static std::int64_t NowMs() {
        using namespace std::chrono;
        return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    }

    std::atomic<std::int64_t> m_lastProgress;
    std::atomic<bool> m_hasClosed{false};
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_done = false;
    Closed m_closed = Closed::No;
    std::thread m_thread;
};

// The code of the WinINet call that just failed, with the server's words for an extended error.
Result LastInternetError(std::string& response) {
    const DWORD error = ::GetLastError();
    if (error == ERROR_INTERNET_EXTENDED_ERROR) {
        DWORD code = 0;
        DWORD length = 0;
        ::InternetGetLastResponseInfoW(&code, nullptr, &length);
        std::wstring text(length + 1, L'\0');
        if (length > 0 && ::InternetGetLastResponseInfoW(&code, text.data(), &length)) {
            text.resize(length);
            while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L'\0')) {
                text.pop_back();
            }
            response = WideToUtf8(text);
        }
    }
    return error != 0 ? static_cast<Result>(error) : kErrInternetInternal;
}

// The names of a folder on the server, one a line, as a names-only listing gives them.
Result ListFolder(HINTERNET connection, const std::wstring& folder, const FtpCopyLimits& limits,
                  const std::atomic<bool>& cancel, std::atomic<std::uint64_t>& progress, std::string& body,
                  std::string& response) {
    if (!::FtpSetCurrentDirectoryW(connection, folder.c_str())) {
        return LastInternetError(response);
    }
    ++progress;
    WIN32_FIND_DATAW entry{};
    CInternet find(::FtpFindFirstFileW(connection, nullptr, &entry, INTERNET_FLAG_RELOAD, 0));
    if (find.Get() == nullptr) {
        return ::GetLastError() == ERROR_NO_MORE_FILES ? kOk : LastInternetError(response);
    }
    std::size_t names = 0;
    do {
        ++progress;
        if (cancel) {
            return kErrorCancelled;
        }
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            continue;
        }
        body += WideToUtf8(entry.cFileName) + "\r\n";
        // One name past the cap is enough for the listing's reader to refuse it.
        if (body.size() > limits.maxListingBytes) {
            response =
                StrFormat("a listing larger than %llu bytes", static_cast<unsigned long long>(limits.maxListingBytes));
            return kErrInternetBadResponse;
        }
        if (++names > limits.maxEntries) {
            return kOk;
        }
    } while (::InternetFindNextFileW(find.Get(), &entry));
    return ::GetLastError() == ERROR_NO_MORE_FILES ? kOk : LastInternetError(response);
}

// The listing on a thread of its own: Wine reads a listing that never ends without end, deaf to
// the session's closing. Once the watch has closed the session, the thread has a moment to come
// back; then it is left to itself, its results unheard (it ends with the listing, or the program).
Result ListFolderWatched(HINTERNET connection, const std::wstring& folder, const FtpCopyLimits& limits,
                         std::atomic<bool>& cancel, CSessionWatch& watch, std::string& body, std::string& response) {
    struct Listing {
        std::mutex mutex;
        std::condition_variable done;
        bool finished = false;
        std::atomic<bool> stop{false};
        std::atomic<std::uint64_t> progress{0};
        Result code = kOk;
        std::string body;
        std::string response;
    };
    auto listing = std::make_shared<Listing>();
    try {
        std::thread([listing, connection, folder, limits] {
            std::string body;
            std::string response;
            const Result code =
                ListFolder(connection, folder, limits, listing->stop, listing->progress, body, response);
            std::lock_guard lock(listing->mutex);
            listing->code = code;
            listing->body = std::move(body);
            listing->response = std::move(response);
            listing->finished = true;
            listing->done.notify_all();
        }).detach();
    } catch (const std::system_error&) {
        return kErrorNoSystemResources;
    }
    std::unique_lock lock(listing->mutex);
    std::uint64_t seen = 0;
    std::chrono::steady_clock::time_point giveUp = std::chrono::steady_clock::time_point::max();
    while (!listing->done.wait_for(lock, std::chrono::milliseconds(50), [&] { return listing->finished; })) {
        if (const std::uint64_t now = listing->progress; now != seen) {
            seen = now;
            watch.Progress();
        }
        listing->stop = cancel.load();
        if (watch.HasClosed() && giveUp == std::chrono::steady_clock::time_point::max()) {
            giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        }
        if (std::chrono::steady_clock::now() > giveUp) {
            listing->stop = true;
            return kErrInternetTimeout;  // the watch says why
        }
    }
    body = std::move(listing->body);
    response = std::move(listing->response);
    return listing->code;
}

Result WriteAll(HANDLE file, const void* data, DWORD size) {
    DWORD written = 0;
    if (!::WriteFile(file, data, size, &written, nullptr)) {
        return static_cast<Result>(::GetLastError());
    }
    return written == size ? kOk : kErrorWriteFault;
}

// One file from the server into the download file, within the size cap and the low-speed rule.
Result GetFile(HINTERNET connection, const std::wstring& path, const FtpCopyLimits& limits, std::atomic<bool>& cancel,
               CSessionWatch& watch, std::atomic<std::uint64_t>& bytes, HANDLE file, IMessagePump& pump,
               IMessageTarget* target, std::string& response) {
    CInternet remote(
        ::FtpOpenFileW(connection, path.c_str(), GENERIC_READ, FTP_TRANSFER_TYPE_BINARY | INTERNET_FLAG_RELOAD, 0));
    if (remote.Get() == nullptr) {
        return LastInternetError(response);
    }
    watch.Progress();
    const std::string tooLarge =
        StrFormat("larger than %llu bytes", static_cast<unsigned long long>(limits.maxFileBytes));
    DWORD sizeHigh = 0;
    const DWORD sizeLow = ::FtpGetFileSize(remote.Get(), &sizeHigh);
    if (sizeLow != INVALID_FILE_SIZE || ::GetLastError() == NO_ERROR) {
        if ((static_cast<std::uint64_t>(sizeHigh) << 32 | sizeLow) > limits.maxFileBytes) {
            response = tooLarge;
            return kErrInternetBadResponse;
        }
    }
    std::vector<char> block(kBlockSize);
    std::uint64_t received = 0;
    std::uint64_t lastPosted = 0;
    // The low-speed rule: at least lowSpeedBytesPerSecond on average over each window.
    using Clock = std::chrono::steady_clock;
    auto windowStart = Clock::now();
    std::uint64_t windowBytes = 0;
    for (;;) {
        DWORD n = 0;
        if (!::InternetReadFile(remote.Get(), block.data(), kBlockSize, &n)) {
            return cancel ? kErrorCancelled : LastInternetError(response);
        }
        if (n == 0) {
            return kOk;
        }
        watch.Progress();
        if (received + n > limits.maxFileBytes) {
            response = tooLarge;
            return kErrInternetBadResponse;
        }
        if (const Result r = WriteAll(file, block.data(), n); r != kOk) {
            return r;
        }
        received += n;
        bytes.store(received);
        if (received - lastPosted >= kBlockSize) {
            lastPosted = received;
            pump.Post(target, kMsgFtpProgress);
        }
        if (cancel) {
            return kErrorCancelled;
        }
        windowBytes += n;
        const auto elapsed = Clock::now() - windowStart;
        if (elapsed >= std::chrono::seconds(limits.lowSpeedSeconds)) {
            if (windowBytes < static_cast<std::uint64_t>(limits.lowSpeedBytesPerSecond) *
                                  static_cast<std::uint64_t>(limits.lowSpeedSeconds)) {
                response = StrFormat("slower than %ld bytes a second for %ld seconds", limits.lowSpeedBytesPerSecond,
                                     limits.lowSpeedSeconds);
                return kErrInternetTimeout;
            }
            windowStart = Clock::now();
            windowBytes = 0;
        }
    }
}

// A file of a local mirror into the download file.
Result CopyLocalFile(const std::string& url, std::uint64_t limit, HANDLE file, std::string& response) {
    std::string path;
    if (!FileUrlPath(url, path)) {
        return kErrInternetBadUrl;
    }
    std::vector<std::uint8_t> data;
    const Result r = ReadWholeFile(std::filesystem::path(Utf8ToWide(path)), limit, data, nullptr, true);
    if (r == kErrorNotEnoughMemory) {
        response = StrFormat("larger than %llu bytes", static_cast<unsigned long long>(limit));
        return kErrInternetBadResponse;
    }
    if (r != kOk) {
        return r;
    }
    return data.empty() ? kOk : WriteAll(file, data.data(), static_cast<DWORD>(data.size()));
}

}  // namespace

bool FileUrlPath(const std::string& url, std::string& path) {
    if (!IsFileUrl(url)) {
        return false;
    }
    std::string rest = url.substr(7);
    if (rest.rfind("localhost/", 0) == 0) {
        rest.erase(0, 9);
    }
    if (rest.empty() || rest.front() != '/' || !PercentDecode(rest, path)) {
        return false;
    }
    // file:///C:/folder names C:/folder.
    if (path.size() >= 3 && path[2] == ':' && std::isalpha(static_cast<unsigned char>(path[1]))) {
        path.erase(0, 1);
    }
    return true;
}

Result CreateDownloadFile(const std::filesystem::path& folder, std::filesystem::path& made, int& handle) {
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::wstring name = L".rm7-fetch-";
        for (int i = 0; i < 8; ++i) {
            name.push_back(static_cast<wchar_t>(kLetters[random() % (sizeof kLetters - 1)]));
        }
        const std::filesystem::path path = folder / name;
        // CREATE_NEW: whatever is there already under that name, a link too, is left alone.
        const HANDLE file =
            ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            made = path;
            handle = HandleToInt(file);
            return kOk;
        }
        if (const DWORD error = ::GetLastError(); error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
            return static_cast<Result>(error);
        }
    }
    return kErrorFileExists;
}

void CFtpCopyJob::RunRequest(Request& request, const FtpCopyLimits& limits, std::atomic<bool>& cancel,
                             std::atomic<std::uint64_t>& bytes, IMessagePump& pump, IMessageTarget* target) {
    const HANDLE file = request.listing ? INVALID_HANDLE_VALUE : IntToHandle(request.fd);
    request.fd = -1;  // this worker owns it now
    Result code = kOk;
    if (request.listing && IsFileUrl(request.url)) {
        code = ListLocalFolder(request.url, request.body, limits.maxListingBytes);
    } else if (IsFileUrl(request.url)) {
        code = CopyLocalFile(request.url, limits.maxFileBytes, file, request.response);
    } else if (FtpUrl url; (code = ParseFtpUrl(request.url, url)) == kOk) {
        CInternet session(::InternetOpenW(L"RM7 Utility", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
        if (session.Get() == nullptr) {
            code = LastInternetError(request.response);
        } else {
            DWORD connectMs = static_cast<DWORD>(limits.connectTimeoutSeconds * 1000);
            DWORD stallMs = static_cast<DWORD>(limits.stallTimeoutSeconds * 1000);
            ::InternetSetOptionW(session.Get(), INTERNET_OPTION_CONNECT_TIMEOUT, &connectMs, sizeof connectMs);
            ::InternetSetOptionW(session.Get(), INTERNET_OPTION_RECEIVE_TIMEOUT, &stallMs, sizeof stallMs);
            ::InternetSetOptionW(session.Get(), INTERNET_OPTION_SEND_TIMEOUT, &stallMs, sizeof stallMs);
            ::InternetSetOptionW(session.Get(), INTERNET_OPTION_DATA_RECEIVE_TIMEOUT, &stallMs, sizeof stallMs);
            CSessionWatch watch(cancel, session.Get(), limits.stallTimeoutSeconds);
            // Anonymous, passive: what a firewall lets through.
            CInternet connection(::InternetConnectW(session.Get(), url.host.c_str(), url.port, nullptr, nullptr,
                                                    INTERNET_SERVICE_FTP, INTERNET_FLAG_PASSIVE, 0));
            if (connection.Get() == nullptr) {
                code = LastInternetError(request.response);
            } else if (request.listing) {
                watch.Progress();
                code = ListFolderWatched(connection.Get(), url.path, limits, cancel, watch, request.body,
                                         request.response);
            } else {
                watch.Progress();
                code = GetFile(connection.Get(), url.path, limits, cancel, watch, bytes, file, pump, target,
                               request.response);
            }
            if (const CSessionWatch::Closed closed = watch.Stop(); closed != CSessionWatch::Closed::No) {
                // The session's handles went with it; none is closed twice.
                static_cast<void>(connection.Release());
                static_cast<void>(session.Release());
                if (closed == CSessionWatch::Closed::Stalled) {
                    code = kErrInternetTimeout;
                    request.response = StrFormat("no progress for %ld seconds", limits.stallTimeoutSeconds);
                } else {
                    code = kErrorCancelled;
                }
            }
        }
    }
    if (cancel && code != kOk) {
        code = kErrorCancelled;
    }
    if (file != INVALID_HANDLE_VALUE) {
        if (!::CloseHandle(file) && code == kOk) {
            code = static_cast<Result>(::GetLastError());
        }
        if (code != kOk) {
            ::DeleteFileW(request.target.c_str());
        }
    }
    if (code != kErrInternetExtended && code != kErrInternetBadResponse && code != kErrInternetTimeout) {
        request.response.clear();
    }
    request.code = code;
    pump.Post(target, kMsgFtpRequestComplete);
}

}  // namespace rm7
