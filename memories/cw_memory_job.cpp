#include "memories/cw_memory_job.h"

#include <functional>

#include "platform/error_text.h"
#include "platform/last_error.h"

namespace rm7 {

CCWMemoryJob::CCWMemoryJob(CRadioSession& session, ICWMemoryView& view)
    : m_model(session.Model()),
      m_view(view),
      m_machine(session),
      m_run(session, m_machine, [this](Result r) { OnCompletion(r); }) {}

CCWMemoryJob::~CCWMemoryJob() {
    Hide();
}

void CCWMemoryJob::Show() {
    if (m_shown) {
        return;
    }
    m_shown = true;
    m_run.Claim();
    m_textsObservation = CObservation(m_machine.texts, this);
    Begin(false, kCwReadingStatus);
    m_run.Start([this] { return m_machine.StartRead(); });
}

void CCWMemoryJob::Hide() {
    if (!m_shown) {
        return;
    }
    m_shown = false;
    m_textsObservation.Reset();
    m_run.Release();
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
}

void CCWMemoryJob::Save() {
    m_run.Claim();
    if (!m_machine.IsIdle()) {
        return;
    }
    Begin(true, kCwWritingStatus);
    // With nothing changed the machine finishes at once, with success, and sends nothing.
    m_run.Start([this] {
        return m_machine.texts.AnyChanged() ? m_machine.StartWrite() : m_machine.Start(m_machine.FinalState());
    });
}

void CCWMemoryJob::CloseRequest() {
    // A read stops without a question; its completion closes the dialog.
    std::function<bool()> ask;
    if (m_writing) {
        ask = [this] { return m_view.Ask({kCriticalOperationCaption, kCwCriticalText}) == Answer::Yes; };
    }
    if (m_run.RequestStop(ask) != StopRequest::kIdle) {
        return;
    }
    if (!m_machine.texts.AnyChanged()) {
        m_view.EndDialog(kCwDialogClosed);
        return;
    }
    switch (m_view.Ask({kCwUnsavedCaption, kCwUnsavedText, MessageIcon::Warning, true})) {
        case Answer::Yes:
            Save();
            break;
        case Answer::No:
            m_view.EndDialog(kCwDialogClosed);
            break;
        case Answer::Cancel:
            break;
    }
}

LResult CCWMemoryJob::OnMessage(std::uint32_t code, WParam wParam, LParam lParam) {
    (void)lParam;
    if (code == kMsgCwMemoryTexts && wParam < kCwMemoryCount) {
        const auto index = static_cast<std::size_t>(wParam);
        m_view.ShowMemory(index, m_machine.texts.Get(index));
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
