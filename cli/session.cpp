#include "cli/session.h"

#include <cstdio>

#include "link/contact.h"
#include "link/tty_serial_port.h"
#include "platform/error_text.h"
#include "platform/paths.h"
#include "platform/result_codes.h"
#include "platform/text.h"

namespace rm7::cli {

void CConsoleNotifier::StatusText(const std::string& text) {
    if (m_quiet || text == m_last) {
        return;
    }
    m_last = text;
    std::string line = text;
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
        line.pop_back();
    }
    std::fprintf(stderr, "%s\n", line.c_str());
}

void CConsoleNotifier::MessageBox(const std::string& caption, const std::string& text, MessageIcon) {
    const std::string flat = FlattenLineBreaks(text, "\n  ");
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), flat.c_str());
    m_last = text;
}

bool CConsoleNotifier::AskYesNo(const std::string& caption, const std::string& text, MessageIcon) {
    std::fprintf(stderr, "%s: %s\n%s\n", caption.c_str(), text.c_str(),
                 m_yes ? "Answered yes (--yes)." : "Answered no (give --yes to accept).");
    return m_yes;
}

CSession::CSession(GlobalOptions options)
    : m_options(std::move(options)), m_notifier(m_options.quiet, m_options.yes), m_settings(SettingsFilePath()) {
    m_settings.Load();
    if (!m_settings.Warning().empty()) {
        std::fprintf(stderr, "%s\n", m_settings.Warning().c_str());
    }
    m_model = std::make_unique<CModel>(m_pump, std::make_unique<CSerialPort>(m_pump), &m_settings, &m_notifier);
    m_model->LoadSettings();
    m_model->SetIdleTarget(this);
    m_portEvent = CObservation(m_model->portEvent, this);
}

CSession::~CSession() {
    m_portEvent.Reset();
    m_model->ClosePort();
    m_model.reset();
    m_simulator.Stop();
    m_pump.Forget(this);
}

LResult CSession::OnMessage(std::uint32_t code, WParam wParam, LParam) {
    if (code == kMsgPortEvent) {
        m_completion = static_cast<Result>(wParam);
    } else if (code == kMsgSerialNotice) {
        char buffer[256];
        std::size_t count = 0;
        while (m_model->Port().Read(buffer, sizeof buffer, count) && count > 0) {
            m_idleInput.append(buffer, count);
            m_lastInputTick = m_pump.TickCount();
        }
    }
    return 0;
}

std::string CSession::TakeIdleInput() {
    std::string out;
    out.swap(m_idleInput);
    return out;
}

Result CSession::Contact() {
    std::string port = m_options.port;
    if (m_options.simulate) {
        const Result r = StartSimulatedRadio(m_simulator, {}, m_options.simArgs, port);
        if (r != kOk) {
            std::fprintf(stderr, "The simulated radio (rm7-sim) could not be started.\n");
            return r;
        }
        std::fprintf(stderr, "Simulated radio on %s\n", port.c_str());
    }
    CModel& model = *m_model;
    // This run's port and speed are not saved: rm7util never writes the settings.
    if (!port.empty()) {
        model.portName.Set(port);
    }
    if (m_options.speed != "auto") {
        model.fixedSerialSpeed.Set(std::strtoul(m_options.speed.c_str(), nullptr, 10));
    }
    m_completion.reset();
    model.Contact().StartAtOpenPort();
    const auto timeoutMs = static_cast<std::uint32_t>(m_options.timeoutSec * 1000);
    if (!m_pump.RunUntil([this] { return m_completion.has_value(); }, timeoutMs)) {
        // The looping speed search never gives up by itself.
        model.ClosePort();
        return kErrNoResponseAfterReset;
    }
    return *m_completion;
}

int ReportFailure(Result r) {
    std::fprintf(stderr, "Error code 0x%08X: %s\n", r, ErrorText(r).c_str());
    return r == kErrorCancelled ? 2 : 1;
}

}  // namespace rm7::cli
