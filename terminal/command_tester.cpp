#include "terminal/command_tester.h"

#include "link/contact.h"
#include "model/messages.h"
#include "platform/error_text.h"
#include "platform/format.h"
#include "platform/last_error.h"
#include "platform/text.h"

namespace rm7 {

CCommandTester::CCommandTester(CRadioSession& session, CCommandMacros& macros, ICommandTesterView& view)
    : m_session(session), m_model(session.Model()), m_macros(macros), m_view(view), m_exchange(session, *this) {}

CCommandTester::~CCommandTester() {
    Hide();
    m_model.Pump().Forget(this);
}

void CCommandTester::Show() {
    if (Pacing()) {
        EndPacing();
    }
    (void)m_exchange.Begin();
    m_labelsObservation = CObservation(m_macros.labels, this);
    m_macros.labels.Notify(this);
    m_statusObservation = CObservation(m_model.firmwareStatus, this);
    m_portStateObservation = CObservation(m_model.portState, this);
    UpdateEnabled();
}

void CCommandTester::Hide() {
    m_labelsObservation.Reset();
    m_statusObservation.Reset();
    m_portStateObservation.Reset();
}

bool CCommandTester::RadioPresent() const {
    return RadioActionBlocker(m_model, RadioNeed::kAnswer).empty();
}

void CCommandTester::UpdateEnabled() {
    std::string blocker = RadioActionBlocker(m_model, RadioNeed::kAnswer);
    if (blocker.empty() && Pacing()) {
        blocker = "Sending the commands one by one: wait until they are out";
    }
    m_view.SetSendingBlocked(blocker);
}

bool CCommandTester::Send(const std::string& text) {
    if (text.empty() || !RadioPresent() || Pacing()) {
        return false;
    }
    m_view.ClearInput();
    if (IsPacedText(text)) {
        EndLine();
        (void)m_exchange.SendCommands(text);
        UpdateEnabled();
        return true;
    }
    EndLine();
    ShowSent(text);
    // A failed write is said once, by OnFailed.
    (void)m_exchange.Send(text);
    ShowSent("\r\n");
    return true;
}

bool CCommandTester::InputChanged(const std::string& input) {
    return !input.empty() && input.back() == ';' && Send(input);
}

bool CCommandTester::SendMacro(std::size_t index, const std::string& input) {
    if (index >= kMacroCount) {
        return false;
    }
    return Send(input + m_macros.texts.Get(index));
}

void CCommandTester::OnReceived(std::string_view bytes) {
    // Each answer ends its line at its ';', also when two arrive in one read (two commands sent
    // before the first answer came).
    while (!bytes.empty()) {
        const std::size_t end = bytes.find(';');
        const std::string_view piece = bytes.substr(0, end == std::string_view::npos ? bytes.size() : end + 1);
        ShowReceived(TesterPrintableForm(piece));
        if (piece.back() == ';') {
            EndLine();
        }
        bytes.remove_prefix(piece.size());
    }
}

void CCommandTester::OnPacedPiece(std::string_view piece) {
    ShowSent(std::string(piece));
}

void CCommandTester::OnPacedEnd() {
    EndLine();
    UpdateEnabled();
}

void CCommandTester::ShowSent(const std::string& text) {
    m_view.AppendSent(text);
    m_atLineStart = text.ends_with('\n');
}

void CCommandTester::ShowReceived(const std::string& text) {
    m_view.AppendReceived(text);
    m_atLineStart = text.ends_with('\n');
}

void CCommandTester::EndLine() {
    if (!m_atLineStart) {
        ShowReceived("\r\n");
    }
}

void CCommandTester::OnFailed(Result why) {
    m_model.StatusText(ErrorText(why));
    UpdateEnabled();
}

void CCommandTester::EndPacing() {
    m_exchange.AbandonPacing();
    UpdateEnabled();
}

LResult CCommandTester::OnMessage(std::uint32_t code, WParam wParam, LParam) {
    if (code == kMsgCommandCaptions && wParam < kMacroCount) {
        const auto i = static_cast<std::size_t>(wParam);
        m_view.SetMacroLabel(i, m_macros.labels.Get(i));
    } else if (code == kMsgFirmwareStatus || code == kMsgPortState) {
        UpdateEnabled();
    }
    return 0;
}

std::string TesterPrintableForm(std::string_view bytes) {
    std::string out;
    for (const char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if ((c >= 0x20 && c < 0x7F) || c >= 0xA0) {
            out += Latin1ToUtf8(std::string_view(&ch, 1));
        } else {
            out += StrFormat("\\x%02X", c);
        }
    }
    return out;
}

}  // namespace rm7
