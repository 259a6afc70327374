#include "memories/cw_memory_job.h"

#include <utility>

#include "platform/format.h"
#include "platform/text.h"

namespace rm7 {

CCWMemoryJob::CCWMemoryJob(CRadioSession& session, IJobView& view, ICWMemoryView* fields)
    : m_model(session.Model()),
      m_fields(fields),
      m_machine(session),
      m_steps(view),
      m_shell(session, m_machine, m_steps,
              {"cw", kCwWritingStatus,
               JobQuestion{JobQuestion::Kind::kStop, kCriticalOperationCaption, kCwCriticalText, MessageIcon::Warning},
               kCwSaveCancelledText}) {}

CCWMemoryJob::~CCWMemoryJob() {
    Hide();
}

void CCWMemoryJob::Show() {
    if (m_shown) {
        return;
    }
    m_shown = true;
    m_shell.Claim();
    m_textsObservation = CObservation(m_machine.texts, this);
    // A read that is done only opens the controls: the job is the save that may follow.
    StartRead([] {});
}

void CCWMemoryJob::Hide() {
    if (!m_shown) {
        return;
    }
    m_shown = false;
    m_textsObservation.Reset();
    m_shell.Release();
}

void CCWMemoryJob::Read() {
    StartRead(nullptr);
}

void CCWMemoryJob::EditFinished(std::size_t index, const std::string& text) {
    m_machine.texts.SetPending(index, KeepCwTypeable(text));
}

void CCWMemoryJob::Controls(bool enabled) {
    if (m_fields != nullptr) {
        m_fields->SetControlsEnabled(enabled);
    }
}

void CCWMemoryJob::Begin(bool writing, const char* status) {
    m_model.StatusText(status);
    m_writing = writing;
    Controls(false);
}

void CCWMemoryJob::StartRead(std::function<void()> then) {
    Begin(false, kCwReadingStatus);
    m_steps.HoldNextDone(std::move(then));
    m_shell.Run([this] { return m_machine.StartRead(); }, [this](Result r) { return ReadOutcome(r); });
}

JobOutcome CCWMemoryJob::ReadOutcome(Result r) {
    m_model.StatusText(kCwReadyStatus);
    // After a failed read the edit boxes hold nothing the radio has: nothing may be saved from them.
    Controls(r == kOk);
    if (m_fields != nullptr) {
        m_fields->FocusCancel();
    }
    if (r == kOk) {
        return JobOutcome::Done(kCwReadText);
    }
    return r == kErrorCancelled ? JobOutcome::Cancelled(kCwReadCancelledText)
                                : JobOutcome::Failed(kCwReadFailedText, r);
}

void CCWMemoryJob::Save() {
    m_shell.Claim();
    if (m_shell.Running() || !m_machine.IsIdle()) {
        return;
    }
    std::string changed;
    for (std::size_t i = 0; i < kCwMemoryCount; ++i) {
        if (m_machine.texts.IsChanged(i)) {
            changed += StrFormat("%sM%zu", changed.empty() ? "" : ", ", i + 1);
        }
    }
    Begin(true, kCwWritingStatus);
    m_steps.HoldNextDone(nullptr);
    // With nothing changed the machine finishes at once, with success, and sends nothing.
    m_shell.Run(
        [this] {
            return m_machine.texts.AnyChanged() ? m_machine.StartWrite() : m_machine.Start(m_machine.FinalState());
        },
        [this, changed](Result r) { return WriteOutcome(r, changed); });
}

JobOutcome CCWMemoryJob::WriteOutcome(Result r, const std::string& changed) {
    m_model.StatusText(kCwReadyStatus);
    Controls(true);
    if (m_fields != nullptr) {
        m_fields->FocusCancel();
    }
    if (r == kOk) {
        return changed.empty() ? JobOutcome::Done(kCwUnchangedText)
                               : JobOutcome::Done(std::string(kCwSavedText) + " " + changed, RadioState::kRunning);
    }
    // Some memories may be written, some not: only a new read can tell.
    JobOutcome outcome = r == kErrorCancelled ? JobOutcome::Cancelled(kCwSaveCancelledText, RadioState::kUnknown)
                                              : JobOutcome::Failed(kCwSaveFailedText, r, RadioState::kUnknown);
    outcome.next = kCwReadAgainText;
    return outcome;
}

void CCWMemoryJob::WriteOne(std::size_t index, const std::string& text) {
    // Read first: only a memory whose text differs from the radio's is written; then read back.
    StartRead([this, index, text] {
        m_machine.texts.SetPending(index, text);
        Begin(true, kCwWritingStatus);
        m_steps.HoldNextDone([this, index, text] {
            Begin(false, kCwReadingStatus);
            m_shell.Run([this] { return m_machine.StartRead(); },
                        [this, index, text](Result r) {
                            if (r != kOk) {
                                return ReadOutcome(r);
                            }
                            const std::string& readBack = m_machine.texts.Get(index);
                            if (readBack != text) {
                                JobOutcome o = JobOutcome::Failed(
                                    StrFormat("The radio reads back \"%s\"", SafeToPrint(readBack).c_str()),
                                    kErrorInvalidData, RadioState::kRunning);
                                o.next = kCwReadAgainText;
                                return o;
                            }
                            return JobOutcome::Done(
                                StrFormat("CW memory M%zu was written and reads back as written", index + 1),
                                RadioState::kRunning);
                        });
        });
        m_shell.Run([this] { return m_machine.StartWrite(); },
                    [this, index](Result r) { return WriteOutcome(r, StrFormat("M%zu", index + 1)); });
    });
}

std::optional<int> CCWMemoryJob::CloseRequest(const AskNow& ask) {
    if (m_shell.Running()) {
        // A read stops without a question; a write after the shell's question. The outcome follows.
        if (m_writing) {
            (void)m_shell.RequestStop();
        } else {
            (void)RequestStop(m_machine);
        }
        return std::nullopt;
    }
    if (!m_machine.texts.AnyChanged()) {
        return kCwDialogClosed;
    }
    switch (ask ? ask({kCwUnsavedCaption, kCwUnsavedText, MessageIcon::Warning, true}) : Answer::Cancel) {
        case Answer::Yes:
            Save();
            return std::nullopt;
        case Answer::No:
            return kCwDialogClosed;
        case Answer::Cancel:
            break;
    }
    return std::nullopt;
}

LResult CCWMemoryJob::OnMessage(std::uint32_t code, WParam wParam, LParam lParam) {
    (void)lParam;
    if (code == kMsgCwMemoryTexts && wParam < kCwMemoryCount && m_fields != nullptr) {
        const auto index = static_cast<std::size_t>(wParam);
        m_fields->ShowMemory(index, m_machine.texts.Get(index));
    }
    return 0;
}

}  // namespace rm7
