#include "memories/banner_job.h"

#include "platform/error_text.h"
#include "platform/format.h"
#include "platform/last_error.h"

namespace rm7 {

CBannerJob::CBannerJob(CRadioSession& session, IJobView& view, IBannerView* fields)
    : m_model(session.Model()),
      m_fields(fields),
      m_machine(session),
      m_steps(view),
      m_shell(session, m_machine, m_steps, {"banner", "Power-on banner", std::nullopt, kBannerSaveCancelledText}) {}

CBannerJob::~CBannerJob() {
    Hide();
}

void CBannerJob::Editable(bool editable) {
    if (m_fields != nullptr) {
        m_fields->SetEditable(editable);
    }
}

void CBannerJob::Show() {
    m_shown = true;
    m_shell.Claim();
    m_textObservation = CObservation(m_machine.text, this);
    m_saveStarted = false;
    // A read that is done only opens the edit box: the job is the save that may follow.
    StartRead([] {});
}

void CBannerJob::Hide() {
    if (!m_shown) {
        return;
    }
    m_shown = false;
    m_textObservation.Reset();
    m_shell.Release();
}

void CBannerJob::Read() {
    StartRead(nullptr);
}

void CBannerJob::StartRead(std::function<void()> then) {
    Editable(false);
    m_steps.HoldNextDone(std::move(then));
    m_shell.Run([this] { return m_machine.StartRead(); }, [this](Result r) { return ReadOutcome(r); });
}

JobOutcome CBannerJob::ReadOutcome(Result r) {
    // After a failed read the box holds nothing the radio has: nothing may be saved from it.
    Editable(r == kOk);
    if (r == kOk) {
        return JobOutcome::Done(kBannerReadText);
    }
    return r == kErrorCancelled ? JobOutcome::Cancelled(kBannerReadCancelledText)
                                : JobOutcome::Failed(kBannerReadFailedText, r);
}

void CBannerJob::EditFinished(const std::string& text) {
    m_machine.text.SetPending(0, TidyBannerText(text));
    if (m_fields != nullptr) {
        m_fields->SetChanged(m_machine.text.IsChanged(0));
    }
}

bool CBannerJob::Apply() {
    if (!m_machine.text.IsChanged(0)) {
        return false;
    }
    if (!m_machine.IsIdle() || m_shell.Running()) {
        // Still reading: the edit would be lost if the save ended the read, so the sheet stays
        // open and the read carries on.
        m_model.StatusText(ErrorText(kErrBusyStateMachine));
        return true;
    }
    StartWrite();
    return true;
}

void CBannerJob::Write(const std::string& text) {
    m_machine.text.SetPending(0, text);
    StartWrite();
}

void CBannerJob::StartWrite() {
    m_saveStarted = true;
    Editable(false);
    m_steps.HoldNextDone(nullptr);
    const std::string written = m_machine.text.Pending();
    m_shell.Run([this] { return m_machine.StartWrite(); },
                [this, written](Result r) { return WriteOutcome(r, written); });
}

JobOutcome CBannerJob::WriteOutcome(Result r, const std::string& written) {
    Editable(true);
    if (r == kOk) {
        // The write ends with a read-back: the text is what the radio now holds.
        const std::string& readBack = m_machine.text.Get();
        if (readBack != written) {
            JobOutcome o = JobOutcome::Failed(StrFormat("The radio reads back \"%s\"", SafeToPrint(readBack).c_str()),
                                              kErrorInvalidData, RadioState::kRunning);
            o.next = kBannerReadAgainText;
            return o;
        }
        return JobOutcome::Done(StrFormat("The power-on banner now reads \"%s\"", SafeToPrint(readBack).c_str()),
                                RadioState::kRunning);
    }
    // A failed or stopped save is told as such: the radio may hold part of the new text.
    JobOutcome o = r == kErrorCancelled ? JobOutcome::Cancelled(kBannerSaveCancelledText, RadioState::kUnknown)
                                        : JobOutcome::Failed(kBannerSaveFailedText, r, RadioState::kUnknown);
    o.next = kBannerReadAgainText;
    return o;
}

bool CBannerJob::QueryCancel() {
    if (m_shell.RequestStop() == StopRequest::kIdle) {
        return false;
    }
    return true;
}

LResult CBannerJob::OnMessage(std::uint32_t code, WParam, LParam lParam) {
    (void)lParam;
    if (code == kMsgBannerText && m_fields != nullptr) {
        m_fields->ShowText(m_machine.text.Get());
        m_fields->SetChanged(m_machine.text.IsChanged(0));
    }
    return 0;
}

}  // namespace rm7
