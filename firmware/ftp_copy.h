#pragma once
// The copy of new firmware from the file server into the firmware folder, without a window: the
// dialog and `rm7util firmware fetch` show its log lines and wait for its end. Each network request
// (the listing, one file) runs on a worker thread of its own, which only fills the request's result
// and posts its completion to the pump; everything else runs on the pump's thread.
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "firmware/firmware_folder.h"
#include "platform/message_pump.h"
#include "platform/result.h"

namespace rm7 {

class CModel;

inline constexpr const char* kDefaultFileServer = "ftp://ftp.tarnwell.com";
inline constexpr const char* kFileServerName = "FileServer";

// The dialog's results.
inline constexpr int kFtpResultDone = 1;
inline constexpr int kFtpResultCancelled = 2;
inline constexpr int kFtpResultFailed = 3;

// Whether the copy window closes by itself when a run ends: after a good run unless Trace keeps
// its log on the screen. A cancel or a failure stays, with what happened.
inline bool FtpWindowClosesItself(int result, bool trace) {
    return result == kFtpResultDone && !trace;
}

enum class FtpState : int {
    Idle = 0,
    Connecting = 1,
    Navigating = 2,
    FindingFirst = 3,
    FindingNext = 4,
    GettingFile = 5,
    Closing = 6,
    Closed = 7,
};

struct FtpCopyLimits {
    long connectTimeoutSeconds = 20;
    // How long the server may take to answer a command.
    long stallTimeoutSeconds = 30;
    std::uint64_t maxListingBytes = 1u << 20;
    std::uint64_t maxFileBytes = 16u << 20;
    std::size_t maxEntries = 4096;
    // A listing or file slower than this on average over the window has failed: a trickle never
    // ends by itself (the largest file at this speed still takes under three hours).
    long lowSpeedBytesPerSecond = 1600;
    long lowSpeedSeconds = 60;
};

// The file server of this run: the run's own (--simulate's mirror) when there is one, else the
// "FileServer" setting, else the maker's server.
std::string ChosenFileServer(const CModel& model);

// "ftp://host[/base]", "ftps://host[/base]" or "file:///path"; the folder below it is
// "RM7/firmware", or for a file:// folder without one the folder itself. Empty when the URL is
// refused.
std::string FirmwareDirectoryUrl(const std::string& server);

// Why the server's name of a file is not taken, or null when it may be written in the folder.
const char* RefusedRemoteName(const std::string& name);

// A names-only listing (one name a line, CR LF or LF), split into the names that may be written
// in the folder (each once) and those refused with why; more than maxEntries names is a listing not trusted.
struct RemoteListing {
    std::vector<std::string> names;
    std::vector<std::pair<std::string, const char*>> refused;
    bool tooMany = false;
};
RemoteListing ReadListing(std::string_view body, std::size_t maxEntries);

// File names compared as the server's Windows-era folders do, without regard to case.
bool SameNameNoCase(const std::string& a, const std::string& b);

// Which remote names to copy, in listing order, by the folder scan's newest-file rule against
// what the folder holds; the release notes alone are not worth a copy. `notes` takes the
// release-notes flag as the listing leaves it.
struct CopySelection {
    std::vector<std::string> copy;
    std::vector<std::string> skipped;
};
CopySelection SelectNewerFiles(const std::vector<std::string>& remoteNames, const FolderContents& local);

class CFtpCopyJob final : private IMessageTarget {
  public:
    using LineHandler = std::function<void(const std::string&)>;
    using ProgressHandler = std::function<void(const std::string& name, std::uint64_t bytes)>;
    // The dialog's result (1, 2 or 3). May destroy the job.
    using DoneHandler = std::function<void(int result)>;

    CFtpCopyJob(IMessagePump& pump, std::filesystem::path folder, FolderContents local, std::string server,
                LineHandler onLine, DoneHandler onDone);
    // Stops a request under way and waits for its worker.
    ~CFtpCopyJob();
    CFtpCopyJob(const CFtpCopyJob&) = delete;
    CFtpCopyJob& operator=(const CFtpCopyJob&) = delete;

    void SetTrace(bool trace) { m_trace = trace; }
    void SetLimits(const FtpCopyLimits& limits) { m_limits = limits; }
    // Called on the pump's thread, about every received block of a file.
    void SetProgressHandler(ProgressHandler onProgress) { m_onProgress = std::move(onProgress); }

    void Start();
    // Cancel button: ends the run with result 2; a request under way is aborted.
    void Cancel();

    FtpState State() const { return m_state; }
    Result Code() const { return m_result; }
    unsigned Copied() const { return static_cast<unsigned>(m_copiedNames.size()); }
    // The names that passed their check and are now in the folder.
    const std::vector<std::string>& CopiedNames() const { return m_copiedNames; }
    // The files to copy that are not in the folder after all, each with why; any makes the run a failure.
    struct RefusedFile {
        std::string name;
        std::string reason;
    };
    const std::vector<RefusedFile>& RefusedFiles() const { return m_refused; }
    const std::vector<std::string>& CopyList() const { return m_copyList; }

  private:
    struct Request {
        bool listing = false;
        std::string url;
        std::filesystem::path target;  // the temporary file of a download
        int fd = -1;                   // and its descriptor, handed to the worker
        Result code = 0;
        std::string response;  // the server's last words for an extended error
        std::string body;      // the listing
    };

    LResult OnMessage(std::uint32_t code, WParam wParam, LParam lParam) override;
    void Launch(Request request);
    void Join();
    void OnListed();
    void CopyNext();
    void OnFileDone();
    void Refuse(const std::string& name, Result code, const std::string& reason);
    void Finish(const char* step, Result code, bool force = false);
    void Log(const std::string& line);
    void Trace(const std::string& line);

    static void RunRequest(Request& request, const FtpCopyLimits& limits, std::atomic<bool>& cancel,
                           std::atomic<std::uint64_t>& bytes, IMessagePump& pump, IMessageTarget* target);

    IMessagePump& m_pump;
    std::filesystem::path m_folder;
    FolderContents m_local;
    std::string m_server;
    LineHandler m_onLine;
    DoneHandler m_onDone;
    ProgressHandler m_onProgress;
    bool m_trace = false;
    FtpCopyLimits m_limits;

    FtpState m_state = FtpState::Idle;
    Result m_result = 0;
    std::vector<std::string> m_copyList;
    int m_copyIndex = -1;
    std::vector<std::string> m_copiedNames;
    std::vector<RefusedFile> m_refused;
    Result m_firstRefusal = 0;

    std::thread m_worker;
    Request m_request;
    std::atomic<bool> m_cancel{false};
    std::atomic<std::uint64_t> m_bytes{0};
};

}  // namespace rm7
