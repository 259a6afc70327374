#include "memories/cw_memory_job.h"

#include "platform/error_text.h"
#include "platform/last_error.h"

namespace rm7 {

CCWMemoryJob::CCWMemoryJob(CModel& model, ICWMemoryView& view) : m_model(model), m_view(view), m_machine(model) {}

CCWMemoryJob::~CCWMemoryJob() {
    Hide();
}

void CCWMemoryJob::Show() {
    if (m_shown) {
        return;
    }
    m_shown = true;
    m_model.SetActiveMachine(&m_machine);
    m_textsObservation = CObservation(m_machine.texts, this);
    m_portEvent = CObservation(m_model.portEvent, this);
    Begin(false, kCwReadingStatus);
    if (!m_machine.StartRead()) {
        m_running = false;
        OnCompletion(GetLastError());
    }
}

void CCWMemoryJob::Hide() {
    if (!m_shown) {
        return;
    }
    m_shown = false;
    m_textsObservation.Reset();
    m_portEvent.Reset();
    if (m_model.ActiveMachine() == &m_machine) {
        m_model.SetActiveMachine(nullptr);
    }
}

void CCWMemoryJob::EditFinished(std::size_t index, const std::string& text) {
    m_machine.texts.SetPending(index, KeepCwTypeable(text));
}

void CCWMemoryJob::Begin(bool writing, const char* status) {
    m_model.StatusText(status);
    m_writing = writing;
    m_view.SetControlsEnabled(false);
    if (m_busy++ == 0) {
        m_view.SetBusyCursor(true);
    }
    m_running = true;
}

void CCWMemoryJob::Save() {
    m_model.SetActiveMachine(&m_machine);
    if (!m_machine.IsIdle()) {
        return;
    }
    Begin(true, kCwWritingStatus);
    // With nothing changed the machine finishes at once, with success, and sends nothing.
    const bool started =
        m_machine.texts.AnyChanged() ? m_machine.StartWrite() : m_machine.Start(m_machine.FinalState());
    if (!started) {
        m_running = false;
        OnCompletion(GetLastError());
    }
}

void CCWMemoryJob::CloseRequest() {
    if (!m_machine.IsIdle()) {
        if (!m_writing) {
            // The read stops at its next step; its completion closes the dialog.
            if (!m_machine.HasFailed()) {
                m_machine.SetResult(kErrorCancelled);
            }
            return;
        }
        if (m_view.Ask(kCriticalOperationCaption, kCwCriticalText, false) == CwAnswer::Yes && !m_machine.IsIdle() &&
            !m_machine.HasFailed()) {
            m_machine.SetResult(kErrorCancelled);
        }
        return;
    }
    if (!m_machine.texts.AnyChanged()) {
        m_view.EndDialog(kCwDialogClosed);
        return;
    }
    switch (m_view.Ask(kCwUnsavedCaption, kCwUnsavedText, true)) {
        case CwAnswer::Yes:
            Save();
            break;
        case CwAnswer::No:
            m_view.EndDialog(kCwDialogClosed);
            break;
        case CwAnswer::Cancel:
            break;
    }
}

LResult CCWMemoryJob::OnMessage(std::uint32_t code, WParam wParam, LParam lParam) {
    (void)lParam;
    if (code == kMsgCwMemoryTexts && wParam < kCwMemoryCount) {
        const auto index = static_cast<std::size_t>(wParam);
        m_view.ShowMemory(index, m_machine.texts.Get(index));
    } else if (code == kMsgPortEvent && m_running && m_machine.IsIdle()) {
        // Another machine's completion (the contact's) is not this one's.
        m_running = false;
        OnCompletion(static_cast<Result>(wParam));
    }
    return 0;
}

void CCWMemoryJob::OnCompletion(Result r) {
    m_model.StatusText(kCwReadyStatus);
    if (r != kOk) {
        if (r != kErrorCancelled) {
            const std::string text = ErrorText(r);
            m_model.StatusText(text);
            m_view.ShowMessage(kCwMemoryErrorCaption, text, MessageIcon::Error);
        }
        m_view.EndDialog(kCwDialogClosed);
    } else if (m_writing) {
        m_view.EndDialog(kCwDialogSaved);
    }
    m_view.SetControlsEnabled(true);
    if (m_busy > 0 && --m_busy == 0) {
        m_view.SetBusyCursor(false);
    }
    m_view.FocusCancel();
}

}  // namespace rm7
