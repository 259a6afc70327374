#pragma once
// What the Command Tester page and its macro editor decide, free of any window.
//
// CCommandTester: the page talks to the radio outside any machine, through the idle-time
// exchange, while no machine is busy (the page forwards the serial notices and the lost port).
// Texts beginning with "!" or "@" go out paced.
//
// CMacroEditorJob: the "Macros Assignable to RM7" page's Read and Write, its completion and its
// cancel rule.
//
// Threads: UI thread only.
#include <array>
#include <cstdint>
#include <string>

#include "link/idle_exchange.h"
#include "link/job_run.h"
#include "link/job_shell.h"
#include "link/job_step_view.h"
#include "memories/command_macro.h"
#include "model/radio_presence.h"
#include "model/user_notifier.h"

namespace rm7 {

class ICommandTesterView {
  public:
    virtual void AppendSent(const std::string& text) = 0;
    virtual void AppendReceived(const std::string& text) = 0;
    virtual void ClearInput() = 0;
    // The controls that send: the input line and the macro buttons. blocker: why they cannot
    // send now, for their tooltips; empty: they can. Clearing the transcript and editing the
    // macros need no radio and stay enabled.
    virtual void SetSendingBlocked(const std::string& blocker) = 0;
    virtual void SetMacroLabel(std::size_t index, const std::string& label) = 0;

  protected:
    ~ICommandTesterView() = default;
};

class CCommandTester final : private IMessageTarget, private IIdleExchangeListener {
  public:
    CCommandTester(CRadioSession& session, CCommandMacros& macros, ICommandTesterView& view);
    ~CCommandTester();
    CCommandTester(const CCommandTester&) = delete;
    CCommandTester& operator=(const CCommandTester&) = delete;

    // The page was selected: the buttons get their labels, the controls follow the firmware
    // status, and a paced send left over is abandoned.
    void Show();
    void Hide();

    // Sends text as typed (no ";" added); false when it is empty or no radio answers.
    bool Send(const std::string& text);
    // Enter in the input line.
    bool SendInput(const std::string& input) { return Send(input); }
    // The input line changed: a text ending with ";" goes at once.
    bool InputChanged(const std::string& input);
    // Macro button i: the input line's text followed by macro i's commands.
    bool SendMacro(std::size_t index, const std::string& input);
    // The serial notice and the lost port, forwarded while no machine is busy.
    void OnRadioNotice(std::uint32_t code, WParam wParam, LParam lParam) { m_exchange.OnMessage(code, wParam, lParam); }

    bool Pacing() const { return m_exchange.Pacing(); }

  private:
    LResult OnMessage(std::uint32_t code, WParam wParam, LParam lParam) override;
    void OnReceived(std::string_view bytes) override;
    void OnPacedPiece(std::string_view piece) override;
    void OnPacedEnd() override;
    void OnFailed(Result why) override;
    void EndPacing();
    // The transcript, whose lines each hold one command or one answer.
    void ShowSent(const std::string& text);
    void ShowReceived(const std::string& text);
    void EndLine();
    bool RadioPresent() const;
    void UpdateEnabled();

    CRadioSession& m_session;
    CModel& m_model;
    CCommandMacros& m_macros;
    ICommandTesterView& m_view;
    CIdleExchange m_exchange;
    bool m_atLineStart = true;
    CObservation m_labelsObservation;
    CObservation m_statusObservation;
    CObservation m_portStateObservation;
};

// The editor's own controls, which the job enables.
class IMacroEditorView {
  public:
    // Every control of page 1.
    virtual void SetControlsEnabled(bool enabled) = 0;
    // Presses the sheet's Cancel button: the editor closes (once any box is seen).
    virtual void CloseSheet() = 0;

  protected:
    ~IMacroEditorView() = default;
};

// The editor's Read and Write, and rm7util's `macros get` and `macros set`, through the job
// shell. A read or a write that is done leaves the editor open and says so; one that fails or is
// stopped says what happened, and the editor stays open with it.
class CMacroEditorJob final : private IMessageTarget {
  public:
    // fields may be null (rm7util has none).
    CMacroEditorJob(CRadioSession& session, CCommandMacros& macros, IJobView& view, IMacroEditorView* fields = nullptr);
    ~CMacroEditorJob();
    CMacroEditorJob(const CMacroEditorJob&) = delete;
    CMacroEditorJob& operator=(const CMacroEditorJob&) = delete;

    // Read and Write are offered only while the radio runs its firmware.
    bool RadioButtonsEnabled() const;
    // Page 1 shown: the machine becomes the active one.
    void Show();
    void Hide();
    // Reads macros 1 to 8 into the macros.
    void Read();
    // labels/commands: page 1's boxes. A box too long (or holding what the radio cannot store)
    // stops the write with a box before anything is copied or sent.
    void Write(const std::array<std::string, kRadioMacroCount>& labels,
               const std::array<std::string, kRadioMacroCount>& commands);
    // rm7util: reads the eight (the other seven go back as the radio holds them), writes macro
    // index with label and commands, and reads them back; the macros then hold what the radio holds.
    void WriteOne(std::size_t index, const std::string& label, const std::string& commands);
    // Cancel or the window's close request: true when the editor may close now; otherwise a
    // run is asked to stop (its outcome follows, the editor stays open with it), or the editor
    // closes when the contact that is running has ended.
    bool QueryCancel();

    CCommandMacroStateMachine& Machine() { return m_machine; }
    CJobShell& Shell() { return m_shell; }
    bool Busy() const { return m_shell.Busy(); }

  private:
    LResult OnMessage(std::uint32_t code, WParam wParam, LParam lParam) override;
    void Controls(bool enabled);
    void StartRead();
    void StartWrite(bool readBack);
    JobOutcome ReadOutcome(Result r);
    JobOutcome WriteOutcome(Result r);
    JobOutcome ReadBackOutcome(Result r);

    CRadioSession& m_session;
    CModel& m_model;
    CCommandMacros& m_macros;
    IMacroEditorView* m_fields;
    CCommandMacroStateMachine m_machine;
    CJobStepView m_steps;
    CJobShell m_shell;
    // What a write sent, for rm7util's read-back.
    std::array<std::string, kRadioMacroCount> m_sentLabels;
    std::array<std::string, kRadioMacroCount> m_sentTexts;
    // Cancelled while the contact ran: the editor closes with the contact's completion.
    CObservation m_contactEnd;
    bool m_closeAfterContact = false;
};

inline constexpr const char* kMacrosReadText = "Macros read";
inline constexpr const char* kMacrosReadFailedText = "Failed to read the macros";
inline constexpr const char* kMacrosReadCancelledText = "Reading the macros was cancelled";
inline constexpr const char* kMacrosWrittenText = "Macros written";
inline constexpr const char* kMacrosWriteFailedText = "Failed to write the macros";
inline constexpr const char* kMacrosWriteCancelledText = "Writing the macros was cancelled";
inline constexpr const char* kMacrosReadAgainText = "Read the macros again to see what the radio holds";

inline constexpr const char* kCommandTesterTitle = "Command Tester";
inline constexpr const char* kCommandTesterHelpTopic = "CommandTester.htm";
inline constexpr const char* kCommandTesterPrompt = "Enter command. Enter key or semicolon sends:";
inline constexpr const char* kEditMacrosButton = "Edit Macros...";
inline constexpr const char* kClearButton = "Clear";
inline constexpr const char* kClearTooltip = "Erase output window";

}  // namespace rm7
