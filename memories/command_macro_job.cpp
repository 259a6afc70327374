#include "memories/command_macro_job.h"

#include "link/contact.h"
#include "model/messages.h"
#include "platform/error_text.h"
#include "platform/format.h"
#include "platform/last_error.h"

namespace rm7 {

CMacroEditorJob::CMacroEditorJob(CRadioSession& session, CCommandMacros& macros, IJobView& view,
                                 IMacroEditorView* fields)
    : m_session(session),
      m_model(session.Model()),
      m_macros(macros),
      m_fields(fields),
      m_machine(session, macros.labels, macros.texts),
      m_steps(view),
      m_shell(session, m_machine, m_steps, {"macros", "Macros", std::nullopt, kMacrosReadCancelledText}) {}

CMacroEditorJob::~CMacroEditorJob() {
    m_contactEnd.Reset();
    Hide();
    m_model.Pump().Forget(this);
}

bool CMacroEditorJob::RadioButtonsEnabled() const {
    return m_model.firmwareStatus.Get() == kFirmwareRunning;
}

void CMacroEditorJob::Show() {
    m_shell.Claim();
}

void CMacroEditorJob::Hide() {
    m_shell.Release();
}

void CMacroEditorJob::Controls(bool enabled) {
    if (m_fields != nullptr) {
        m_fields->SetControlsEnabled(enabled);
    }
}

void CMacroEditorJob::Read() {
    if (!m_machine.IsIdle() || m_shell.Running()) {
        return;
    }
    m_steps.HoldNextDone(nullptr);
    StartRead();
}

void CMacroEditorJob::StartRead() {
    Controls(false);
    m_shell.Run([this] { return m_machine.StartRead(); }, [this](Result r) { return ReadOutcome(r); });
}

JobOutcome CMacroEditorJob::ReadOutcome(Result r) {
    Controls(true);
    if (r == kOk) {
        return JobOutcome::Done(kMacrosReadText);
    }
    return r == kErrorCancelled ? JobOutcome::Cancelled(kMacrosReadCancelledText)
                                : JobOutcome::Failed(kMacrosReadFailedText, r);
}

void CMacroEditorJob::Write(const std::array<std::string, kRadioMacroCount>& labels,
                            const std::array<std::string, kRadioMacroCount>& commands) {
    if (!m_machine.IsIdle() || m_shell.Running()) {
        return;
    }
    for (std::size_t i = 0; i < kRadioMacroCount; ++i) {
        const MacroRefusal refusal = CheckRadioMacro(i, labels[i], commands[i]);
        if (refusal.code != kOk) {
            m_shell.Box(refusal.caption, refusal.text, MessageIcon::Error);
            return;
        }
    }
    for (std::size_t i = 0; i < kRadioMacroCount; ++i) {
        m_macros.labels.Set(i, labels[i]);
        m_macros.texts.Set(i, commands[i]);
    }
    m_steps.HoldNextDone(nullptr);
    StartWrite(false);
}

void CMacroEditorJob::WriteOne(std::size_t index, const std::string& label, const std::string& commands) {
    m_steps.HoldNextDone([this, index, label, commands] {
        m_macros.labels.Set(index, label);
        m_macros.texts.Set(index, commands);
        // One the radio holds may be what it cannot take back: nothing is sent then.
        if (const MacroRefusal refusal = CheckRadioMacros(m_macros.labels, m_macros.texts); refusal.code != kOk) {
            JobOutcome o = JobOutcome::Failed(kMacrosWriteFailedText, refusal.code);
            o.why = refusal.text;
            m_shell.Finish(std::move(o));
            return;
        }
        StartWrite(true);
    });
    StartRead();
}

void CMacroEditorJob::StartWrite(bool readBack) {
    Controls(false);
    if (readBack) {
        m_steps.HoldNextDone([this] {
            // The machine stores the tidied texts it sent: the read-back must find those.
            for (std::size_t i = 0; i < kRadioMacroCount; ++i) {
                m_sentLabels[i] = m_macros.labels.Get(i);
                m_sentTexts[i] = m_macros.texts.Get(i);
            }
            Controls(false);
            m_shell.Run([this] { return m_machine.StartRead(); }, [this](Result r) { return ReadBackOutcome(r); });
        });
    }
    m_shell.Run([this] { return m_machine.StartWrite(); }, [this](Result r) { return WriteOutcome(r); });
}

JobOutcome CMacroEditorJob::WriteOutcome(Result r) {
    Controls(true);
    if (r == kOk) {
        return JobOutcome::Done(kMacrosWrittenText, RadioState::kRunning);
    }
    // A write that stopped part way may have changed some of the eight.
    JobOutcome o = r == kErrorCancelled ? JobOutcome::Cancelled(kMacrosWriteCancelledText, RadioState::kUnknown)
                                        : JobOutcome::Failed(kMacrosWriteFailedText, r, RadioState::kUnknown);
    o.next = kMacrosReadAgainText;
    return o;
}

JobOutcome CMacroEditorJob::ReadBackOutcome(Result r) {
    Controls(true);
    if (r != kOk) {
        JobOutcome o = r == kErrorCancelled ? JobOutcome::Cancelled(kMacrosReadCancelledText, RadioState::kRunning)
                                            : JobOutcome::Failed(kMacrosReadFailedText, r, RadioState::kRunning);
        o.next = kMacrosReadAgainText;
        return o;
    }
    for (std::size_t i = 0; i < kRadioMacroCount; ++i) {
        if (m_macros.labels.Get(i) != m_sentLabels[i] || m_macros.texts.Get(i) != m_sentTexts[i]) {
            JobOutcome o = JobOutcome::Failed(kMacrosWriteFailedText, kErrMacroReadBack, RadioState::kRunning);
            o.why = StrFormat("the radio reads back macro %zu as \"%s\" \"%s\"", i + 1,
                              SafeToPrint(m_macros.labels.Get(i)).c_str(), SafeToPrint(m_macros.texts.Get(i)).c_str());
            return o;
        }
    }
    return JobOutcome::Done(kMacrosWrittenText, RadioState::kRunning);
}

bool CMacroEditorJob::QueryCancel() {
    if (m_shell.Running()) {
        // The outcome follows; the editor stays open with it.
        (void)m_shell.RequestStop();
        return false;
    }
    if (m_session.Contact().IsIdle()) {
        return true;
    }
    // The contact is left to finish; the editor closes once it has.
    m_contactEnd = CObservation(m_model.portEvent, this);
    m_closeAfterContact = true;
    return false;
}

LResult CMacroEditorJob::OnMessage(std::uint32_t code, WParam, LParam) {
    if (code == kMsgPortEvent && m_closeAfterContact && m_session.Contact().IsIdle()) {
        m_closeAfterContact = false;
        m_contactEnd.Reset();
        if (m_fields != nullptr) {
            m_fields->CloseSheet();
        }
    }
    return 0;
}

}  // namespace rm7
