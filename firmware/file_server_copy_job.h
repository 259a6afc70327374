#pragma once
// CFileServerCopyJob: the file-server copy (CFtpCopyJob) as a job of the one shell, for the copy
// window and `rm7util firmware fetch`. It needs no radio: its requests run on workers of their
// own, its steps on the pump. Its log lines go to the view; its end is told once: the files
// copied, the stop, or why it failed (a file refused makes the run a failure, though the good
// ones are kept).
//
// Threads: the pump's.
#include <filesystem>
#include <string>

#include "firmware/ftp_copy.h"
#include "link/job_shell.h"

namespace rm7 {

class CFileServerCopyJob final {
  public:
    CFileServerCopyJob(IMessagePump& pump, IJobView& view, std::filesystem::path folder, FolderContents local,
                       std::string server);

    void Start();
    // The window's Cancel, rm7util's signal: a request under way is aborted.
    StopRequest Cancel() { return m_shell.RequestStop(); }

    CJobShell& Shell() { return m_shell; }
    CFtpCopyJob& Copy() { return m_copy; }
    const std::filesystem::path& Folder() const { return m_folder; }
    bool Running() const { return m_shell.Running(); }

  private:
    JobOutcome Outcome(int result) const;

    std::filesystem::path m_folder;
    std::string m_failureLine;  // the copy's own line for its failure: the outcome says it
    CJobShell m_shell;
    CFtpCopyJob m_copy;
};

inline constexpr const char* kFetchNothingNewerText = "Nothing newer on the file server";
inline constexpr const char* kFetchFailedText = "Failed to copy from the file server";
inline constexpr const char* kFetchCancelledText = "Copying from the file server was cancelled";

}  // namespace rm7
