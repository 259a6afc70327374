#include "memories/banner.h"

#include <algorithm>

#include "platform/error_text.h"
#include "platform/format.h"
#include "platform/last_error.h"
#include "platform/text.h"

namespace rm7 {

std::string BannerTextFromBytes(const std::uint8_t* bytes, std::size_t size) {
    std::string latin1;
    for (std::size_t i = 0; i < size && bytes[i] != 0 && bytes[i] != 0xFF; ++i) {
        latin1 += static_cast<char>(bytes[i]);
    }
    return Latin1ToUtf8(latin1);
}

std::string UpperCaseBannerText(std::string_view utf8) {
    std::string out(utf8);
    for (std::size_t i = 0; i < out.size(); ++i) {
        const auto c = static_cast<unsigned char>(out[i]);
        if (c >= 'a' && c <= 'z') {
            out[i] = static_cast<char>(c - 0x20);
        } else if (c == 0xC3 && i + 1 < out.size()) {
            // U+00E0-U+00FE (but the division sign U+00F7) have upper-case forms 0x20 lower.
            const auto next = static_cast<unsigned char>(out[i + 1]);
            if (next >= 0xA0 && next <= 0xBE && next != 0xB7) {
                out[i + 1] = static_cast<char>(next - 0x20);
            }
            ++i;
        }
    }
    return out;
}

std::string TidyBannerText(std::string_view utf8) {
    std::string out = UpperCaseBannerText(utf8);
    while (!out.empty() && (out.back() == ' ' || (out.back() >= '\t' && out.back() <= '\r'))) {
        out.pop_back();
    }
    return out;
}

Result BannerBytesFromText(std::string_view utf8, BannerBuffer& out) {
    std::string latin1 = Utf8ToLatin1(utf8);
    if (latin1.size() > kBannerMaxLength) {
        return kErrorInvalidParameter;
    }
    // A zero or 0xFF byte would end the text early when the radio reads it back.
    std::replace_if(
        latin1.begin(), latin1.end(), [](char c) { return c == '\0' || c == '\xFF'; }, '?');
    out.fill(0);
    std::copy(latin1.begin(), latin1.end(), out.begin());
    return kOk;
}

void CReadBannerState::OnTransferComplete() {
    BannerBuffer& buffer = Host().Buffer();
    std::replace(buffer.begin(), buffer.end(), std::uint8_t{0xFF}, std::uint8_t{0});
    buffer[kBannerMaxLength] = 0;
    Host().text.Set(BannerTextFromBytes(buffer.data(), buffer.size()));
    OnSuccess();
}

void CWriteBannerState::Init() {
    CWritePicPromState::Init();
    BannerBuffer& buffer = Host().Buffer();
    buffer[kBannerMaxLength] = 0;
    const auto end = std::find(buffer.begin(), buffer.end(), std::uint8_t{0});
    const auto length = static_cast<std::uint32_t>(end - buffer.begin()) + 1;  // with its zero byte
    SetTransfer(kBannerAddress, length, buffer.data());
}

void CWriteBannerState::OnAllWritten() {
    const BannerBuffer& buffer = Host().Buffer();
    Host().text.Set(BannerTextFromBytes(buffer.data(), buffer.size()));
    Next();
}

CBannerStateMachine::CBannerStateMachine(CRadioSession& session)
    : CStateHost(session, kTimerId),
      text(session.Pump(), kMsgBannerText),
      m_write(*this, &m_read, m_buffer.data()),
      m_read(*this, &FinalState(), m_buffer.data()) {}

bool CBannerStateMachine::StartRead() {
    return Start(m_read);
}

bool CBannerStateMachine::StartWrite() {
    if (!IsIdle()) {
        SetLastError(kErrBusyStateMachine);
        return false;
    }
    const Result r = BannerBytesFromText(text.Pending(), m_buffer);
    if (r != kOk) {
        SetLastError(r);
        return false;
    }
    return Start(m_write);
}

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
