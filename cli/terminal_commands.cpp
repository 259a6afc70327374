// terminal: the radio's CW, RTTY and PSK text modes from a terminal, as the Terminal page works
// them: keyed from standard input (or --send TEXT), with what the radio decodes on standard
// output.
#include <algorithm>
#include <memory>
#include <tuple>

#include "cli/commands.h"
#include "cli/job_views.h"
#include "cli/session.h"
#include "link/serial_port.h"
#include "platform/console.h"
#include "platform/format.h"
#include "platform/last_error.h"
#include "platform/text.h"
#include "terminal/terminal.h"
#include "terminal/terminal_settings.h"

namespace rm7::cli {
namespace {

constexpr char kCtrlD = 0x04;
constexpr char kCtrlT = 0x14;
constexpr char kEsc = 0x1B;
constexpr char kBackspace = 0x7F;

// The receive pane on standard output: decoded text as it arrives; in a session at a terminal
// also the sent text, green, as the radio reports it gone.
class CConsoleView final : public ITerminalView {
  public:
    CConsoleView(std::ostream& out, std::ostream& err, bool showSent, bool color)
        : m_out(out), m_err(err), m_showSent(showSent), m_color(color) {}

    void ShowText(Text kind, const std::string& text) override {
        if (kind == Text::kTrace) {
            m_err << TerminalTextForConsole(text) << std::flush;
            return;
        }
        if (kind == Text::kSent && !m_showSent) {
            return;
        }
        const bool green = kind == Text::kSent && m_color;
        m_out << (green ? "\x1B[32m" : "") << TerminalTextForConsole(text) << (green ? "\x1B[0m" : "") << std::flush;
        m_atLineStart = text.back() == '\n' || text.back() == '\r';
    }
    void OnTransmitting(bool on) override {
        if (m_showSent) {
            m_err << (on ? "[Transmitting: Esc or Ctrl+T stops]" : "[Receiving: Ctrl+T transmits]") << "\n"
                  << std::flush;
        }
    }
    void OnEnabled(bool) override {}
    // Ends a last line of text, so the shell's prompt starts on its own.
    void Finish() {
        if (!m_atLineStart) {
            m_out << "\n" << std::flush;
            m_atLineStart = true;
        }
    }

  private:
    std::ostream& m_out;
    std::ostream& m_err;
    bool m_showSent;
    bool m_color;
    bool m_atLineStart = true;
};

// What rm7util terminal runs: the session, the terminal on it and the way out.
class CTerminalRun {
  public:
    CTerminalRun(CSession& session, TerminalMode mode, bool interactive)
        : m_session(session),
          m_view(session.Env().Out(), session.Env().Err(), interactive, interactive && StdoutIsTerminal()),
          m_terminal(session.Radio(), m_pane, m_view) {
        CTerminalSettings settings(session.Pump());
        settings.Load(session.Model().Settings());
        m_terminal.SetMode(mode);
        m_terminal.SetKeyHints(interactive);
        m_terminal.SetActivityTimeoutMs(static_cast<std::uint32_t>(settings.activityTimeoutMs.Get()));
        session.Radio().SetIdleTarget(&m_terminal);
        session.Env().Loop().CatchInterrupts([this] {
            m_interrupted = true;
            m_terminal.EndTransmission();
        });
        m_terminal.Start();
    }
    ~CTerminalRun() {
        m_terminal.EndTransmission();
        m_terminal.Stop();
        m_session.Env().Loop().CatchInterrupts(nullptr);
        m_session.Radio().SetIdleTarget(nullptr);
        m_view.Finish();
    }

    CTerminal& Terminal() { return m_terminal; }
    CTextPane& Pane() { return m_pane; }
    bool Interrupted() const { return m_interrupted; }
    // Ends the received text's last line, so that what is said next starts a line of its own.
    void EndOutputLine() { m_view.Finish(); }
    bool PortOpen() { return m_session.Radio().Port().IsOpen() && m_terminal.Failure() == kOk; }
    // Why the radio can no longer be talked to, said once by the command.
    Result Lost() const { return m_terminal.Failure() != kOk ? m_terminal.Failure() : kErrPortGone; }

    // Runs until everything typed so far is sent and the radio has sent it too, or stop();
    // kErrTerminalStalled when nothing moves for stallMs.
    Result Drain(const std::function<bool()>& stop, std::uint32_t stallMs) {
        IMessagePump& pump = m_session.Pump();
        auto progress = [this] {
            return std::make_tuple(m_pane.UnsentLength(), m_terminal.EchoQueue().size(), m_terminal.Untransmitted());
        };
        auto last = progress();
        std::uint32_t movedAt = pump.TickCount();
        bool stalled = false;
        m_session.RunUntil(
            [&] {
                if (progress() != last) {
                    last = progress();
                    movedAt = pump.TickCount();
                }
                stalled = pump.TickCount() - movedAt >= stallMs;
                return stop() || stalled || !PortOpen() || (m_pane.UnsentLength() == 0 && m_terminal.AllSent());
            },
            UINT32_MAX);
        return stalled && !stop() ? kErrTerminalStalled : kOk;
    }

  private:
    CSession& m_session;
    CTextPane m_pane;
    CConsoleView m_view;
    CTerminal m_terminal;
    bool m_interrupted = false;
};

int RunSendText(CTerminalRun& run, CSession& session, const std::string& text) {
    IEnvironment& env = session.Env();
    run.Pane().AppendUnsent(TransmitTextFromUtf8(text));
    if (!run.Terminal().TransmitOn()) {
        return ReportFailure(env.Err(), kErrTerminalNoFirmware);
    }
    const auto stallMs = static_cast<std::uint32_t>(session.Options().timeoutSec * 1000);
    const Result r = run.Drain([&run] { return run.Interrupted(); }, stallMs);
    run.Terminal().EndTransmission();
    run.EndOutputLine();
    if (run.Interrupted()) {
        return ReportFailure(env.Err(), kErrorCancelled);
    }
    if (!run.PortOpen()) {
        return ReportFailure(env.Err(), run.Lost());
    }
    return r == kOk ? 0 : ReportFailure(env.Err(), r);
}

int RunInteractive(CTerminalRun& run, CSession& session) {
    IEnvironment& env = session.Env();
    CRawKeyboard keyboard;
    if (!keyboard.Active()) {
        env.Err() << "terminal: standard input is not a terminal; give the text with --send TEXT\n";
        return 2;
    }
    CTerminal& terminal = run.Terminal();
    bool ended = false;
    auto onKeys = [&] {
        char keys[256];
        const long n = keyboard.Read(keys, sizeof keys);
        if (n < 0) {
            ended = true;
            return;
        }
        std::string typed;
        for (long i = 0; i < n && !ended; ++i) {
            const char key = keys[i];
            if (key == kCtrlD) {
                ended = true;
            } else if (key == kCtrlT) {
                terminal.ToggleTransmit();
            } else if (key == kEsc) {
                // A lone Esc stops; the rest of an escape sequence (an arrow key) is no text.
                if (i + 1 == n) {
                    terminal.TransmitOff();
                }
                break;
            } else if (key == kBackspace || key == '\b') {
                if (!typed.empty()) {
                    typed.pop_back();
                } else {
                    run.Pane().EraseLastUnsent();
                }
            } else {
                typed.push_back(key);
            }
        }
        if (!typed.empty()) {
            run.Pane().AppendUnsent(TransmitTextFromUtf8(typed));
        }
        terminal.OnKey(!typed.empty());
    };
    if (!env.Loop().WatchInput(keyboard.Fd(), onKeys)) {
        env.Err() << "terminal: this run cannot read the keyboard; give the text with --send TEXT\n";
        return 2;
    }
    env.Err() << StrFormat("%s terminal: type to key the text, Ctrl+T transmits or stops, Esc stops, Ctrl+D ends.\n",
                           TerminalModeName(terminal.Mode()));
    session.RunUntil([&] { return ended || run.Interrupted() || !run.PortOpen(); }, UINT32_MAX);
    env.Loop().UnwatchInput(keyboard.Fd());
    // Ctrl+D while transmitting: what was typed before it goes out, then the radio is told to
    // stop. Text typed while receiving is never keyed.
    if (!terminal.Transmitting() || run.Interrupted()) {
        run.Pane().DropUnsent();
    }
    if (!run.Interrupted() && run.PortOpen() && terminal.Transmitting()) {
        terminal.RequestFeed();
        run.Drain([&run] { return run.Interrupted(); },
                  static_cast<std::uint32_t>(session.Options().timeoutSec * 1000));
    }
    terminal.EndTransmission();
    run.EndOutputLine();
    if (!run.PortOpen()) {
        return ReportFailure(env.Err(), run.Lost());
    }
    return run.Interrupted() ? ReportFailure(env.Err(), kErrorCancelled) : 0;
}

}  // namespace

int RunTerminal(IEnvironment& env, const GlobalOptions& options, const TerminalOptions& terminal) {
    std::optional<TerminalMode> mode;
    if (!terminal.mode.empty()) {
        mode = TerminalModeFromName(terminal.mode);
        if (!mode) {
            env.Err() << "terminal: --mode is cw, rtty or psk\n";
            return 2;
        }
    }
    return RunOnRadio(env, options, [&](CSession& session, CTerminalJobView&) {
        if (session.Model().firmwareStatus.Get() != kFirmwareRunning) {
            return ReportFailure(env.Err(), kErrTerminalNoFirmware);
        }
        if (!mode) {
            CTerminalSettings settings(session.Pump());
            settings.Load(session.Model().Settings());
            mode = settings.Mode();
        }
        CTerminalRun run(session, *mode, !terminal.send.has_value());
        return terminal.send ? RunSendText(run, session, *terminal.send) : RunInteractive(run, session);
    });
}

}  // namespace rm7::cli
