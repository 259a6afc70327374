// The copy from the file server in the Windows build, until it has its transfers on WinINet:
// every run ends at once as not supported, says so in its log, and writes nothing.
#include "firmware/ftp_copy.h"

#include "platform/error_text.h"
#include "platform/format.h"
#include "platform/result_codes.h"
#include "platform/text.h"

namespace rm7 {

CFtpCopyJob::CFtpCopyJob(IMessagePump& pump, std::filesystem::path folder, FolderContents local, std::string server,
                         LineHandler onLine, DoneHandler onDone)
    : m_pump(pump),
      m_folder(std::move(folder)),
      m_local(std::move(local)),
      m_server(std::move(server)),
      m_onLine(std::move(onLine)),
      m_onDone(std::move(onDone)) {}

CFtpCopyJob::~CFtpCopyJob() {
    m_pump.Forget(this);
}

void CFtpCopyJob::Log(const std::string& line) {
    if (m_onLine) {
        m_onLine(line);
    }
}

void CFtpCopyJob::Start() {
    m_copyList.clear();
    m_copiedNames.clear();
    m_refused.clear();
    Log(StrFormat("Open connection to %s", SafeToPrint(m_server).c_str()));
    m_state = FtpState::Connecting;
    Log("Copying from the file server is not yet part of the Windows build of rm7util.");
    Finish("InternetOpen", kErrorNotSupported);
}

void CFtpCopyJob::Cancel() {
    if (m_state != FtpState::Idle) {
        Finish("Cancel Button", kErrCancelled);
    }
}

void CFtpCopyJob::Finish(const char* step, Result code, bool) {
    if (m_state == FtpState::Idle) {
        return;
    }
    m_result = code;
    if (code != 0) {
        Log(StrFormat("%s completed with error 0x%08X: %s", step, code, ErrorText(code).c_str()));
    }
    m_state = FtpState::Idle;
    const int result = code == 0 ? kFtpResultDone : code == kErrCancelled ? kFtpResultCancelled : kFtpResultFailed;
    if (m_onDone) {
        const DoneHandler done = m_onDone;
        done(result);
    }
}

LResult CFtpCopyJob::OnMessage(std::uint32_t, WParam, LParam) {
    return 0;
}

}  // namespace rm7
