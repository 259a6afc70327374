#pragma once
// CMacroEditorJob: the macro editor's Read and Write ("Macros Assignable to RM7") and rm7util's
// `macros get` and `macros set`, their completion and their cancel rule, through the job shell.
//
// Threads: UI thread only, like the machine it owns.
#include <array>
#include <cstdint>
#include <string>

#include "link/job_shell.h"
#include "link/job_step_view.h"
#include "memories/command_macro_machine.h"
#include "model/observable.h"
#include "model/user_notifier.h"

namespace rm7 {

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
