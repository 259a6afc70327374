#include "firmware/file_server_copy_job.h"

#include <utility>

#include "platform/error_text.h"
#include "platform/format.h"
#include "platform/text.h"

namespace rm7 {

CFileServerCopyJob::CFileServerCopyJob(IMessagePump& pump, IJobView& view, std::filesystem::path folder,
                                       FolderContents local, std::string server)
    : m_folder(folder),
      m_shell(pump, view, {"firmware fetch", "Copying from the file server", std::nullopt, kFetchCancelledText}),
      m_copy(
          pump, std::move(folder), std::move(local), std::move(server),
          [this](const std::string& line) {
              // A failure is said once, by the outcome, in the copy's own words.
              if (m_shell.Running() && line.find(" completed with error ") != std::string::npos) {
                  m_failureLine = line;
                  return;
              }
              m_shell.Log(line);
          },
          // Last: the outcome may end the job's window, and this job with it.
          [this](int result) { m_shell.Finish(Outcome(result)); }) {}

void CFileServerCopyJob::Start() {
    m_failureLine.clear();
    m_shell.RunWork([this] { m_copy.Start(); }, [this] { m_copy.Cancel(); });
}

JobOutcome CFileServerCopyJob::Outcome(int result) const {
    const unsigned copied = m_copy.Copied();
    const std::string copiedText = StrFormat("Copied %u file%s", copied, copied == 1 ? "" : "s");
    if (result == kFtpResultDone) {
        JobOutcome o = JobOutcome::Done(copied == 0 ? kFetchNothingNewerText : copiedText, RadioState::kUnknown);
        if (copied > 0) {
            o.file = m_folder;
        }
        return o;
    }
    if (result == kFtpResultCancelled) {
        return JobOutcome::Cancelled(copied == 0 ? std::string(kFetchCancelledText)
                                                 : StrFormat("%s after %s", kFetchCancelledText, copiedText.c_str()),
                                     RadioState::kUnknown);
    }
    JobOutcome o = JobOutcome::Failed(kFetchFailedText, m_copy.Code(), RadioState::kUnknown);
    if (!m_copy.RefusedFiles().empty()) {
        // The first refused file, with why; the log has every one.
        const CFtpCopyJob::RefusedFile& first = m_copy.RefusedFiles().front();
        o.why = StrFormat("refused %zu of %zu files (%s: %s)", m_copy.RefusedFiles().size(), m_copy.CopyList().size(),
                          SafeToPrint(first.name).c_str(), FlattenLineBreaks(first.reason, " ").c_str());
        if (copied > 0) {
            o.next = copiedText + " that passed the check";
        }
    } else if (!m_failureLine.empty()) {
        o.why = FlattenLineBreaks(m_failureLine, " ");
    }
    return o;
}

}  // namespace rm7
