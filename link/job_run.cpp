#include "link/job_run.h"

#include "platform/error_text.h"
#include "platform/last_error.h"
#include "platform/result_codes.h"

namespace rm7 {

JobLine JobLine::Error(Result code) {
    return {Kind::Error, ErrorCodeText(code), code};
}

std::vector<std::string> JobLineTexts(const std::vector<JobLine>& lines) {
    std::vector<std::string> texts;
    texts.reserve(lines.size());
    for (const JobLine& line : lines) {
        texts.push_back(line.text);
    }
    return texts;
}

StopRequest RequestStop(IStateMachine& machine, const std::function<bool()>& ask) {
    if (machine.IsIdle()) {
        return StopRequest::kIdle;
    }
    if (ask && !ask()) {
        return StopRequest::kDeclined;
    }
    // The run may have ended while the question was open.
    if (machine.IsIdle() || !machine.Cancel()) {
        return StopRequest::kTooLate;
    }
    return StopRequest::kStopping;
}

CJobRun::CJobRun(CRadioSession& session, IStateMachine& machine, CompletionHandler onCompletion)
    : m_session(session), m_machine(machine), m_onCompletion(std::move(onCompletion)) {}

CJobRun::~CJobRun() {
    Release();
    m_session.Pump().Forget(this);
}

void CJobRun::Claim() {
    m_session.SetActiveMachine(&m_machine);
    if (!m_claimed) {
        m_completions = CObservation(m_session.Model().portEvent, this);
        m_claimed = true;
    }
}

bool CJobRun::Start(const std::function<bool()>& start) {
    Claim();
    // Running before the start: a port that cannot be written ends the machine at once.
    m_running = true;
    if (start()) {
        return true;
    }
    if (!m_running) {
        // The machine refused and ended at once, and its own completion notice has ended the run.
        return false;
    }
    const Result r = GetLastError();
    m_running = false;
    Complete(r != kOk ? r : kErrBusyStateMachine);
    return false;
}

void CJobRun::Release() {
    if (!m_claimed) {
        return;
    }
    m_claimed = false;
    m_running = false;
    m_completions.Reset();
    if (m_session.ActiveMachine() == &m_machine) {
        m_session.SetActiveMachine(nullptr);
    }
}

LResult CJobRun::OnMessage(std::uint32_t code, WParam wParam, LParam lParam) {
    (void)lParam;
    if (code == kMsgPortEvent && m_running && m_machine.IsIdle()) {
        m_running = false;
        Complete(static_cast<Result>(wParam));
    }
    return 0;
}

void CJobRun::Complete(Result r) {
    if (m_onCompletion) {
        // A copy: the handler may end the run's owner, and this run with it.
        const CompletionHandler handler = m_onCompletion;
        handler(r);
    }
}

}  // namespace rm7
