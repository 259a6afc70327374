#pragma once
// CCWMemoryJob: everything the "Edit CW Memories" dialog and rm7util's `cw` decide: the read
// when the dialog is first shown, "Save", the close request and its questions, and the outcome,
// all through the job shell (link/job_shell.h). The read is a step, not the job: only its failure
// is told; the write (or rm7util's read, or its write and read-back) ends the job once. The Qt
// dialog only shows and forwards.
//
// Threads: UI thread only, like the machine it owns.
#include <cstddef>
#include <functional>
#include <optional>
#include <string>

#include "link/job_shell.h"
#include "link/job_step_view.h"
#include "memories/cw_memory_machine.h"
#include "model/user_notifier.h"
#include "platform/job_texts.h"

namespace rm7 {

// The dialog's own controls, which the job fills and enables.
class ICWMemoryView {
  public:
    // Puts a memory's text into its edit box and enables that box.
    virtual void ShowMemory(std::size_t index, const std::string& text) = 0;
    // Every control but the static texts, "Cancel" and "Help".
    virtual void SetControlsEnabled(bool enabled) = 0;
    virtual void FocusCancel() = 0;

  protected:
    ~ICWMemoryView() = default;
};

class CCWMemoryJob final : private IMessageTarget {
  public:
    // A question asked in answer to the user's own action (it may wait for the answer).
    using AskNow = std::function<Answer(const Question&)>;

    // fields may be null (rm7util has none).
    CCWMemoryJob(CRadioSession& session, IJobView& view, ICWMemoryView* fields = nullptr);
    ~CCWMemoryJob();
    CCWMemoryJob(const CCWMemoryJob&) = delete;
    CCWMemoryJob& operator=(const CCWMemoryJob&) = delete;

    // The dialog was first shown: the machine becomes the active one and reads the memories.
    void Show();
    // The dialog is going away: no more notices, no active machine.
    void Hide();
    // Edit box i lost the focus with this text: it becomes memory i's pending copy. Characters
    // the radio cannot send are dropped here too.
    void EditFinished(std::size_t index, const std::string& text);
    // "Save": writes the changed memories; the outcome follows.
    void Save();
    // "Cancel" or the window's close request: the dialog's result when it may close now; nothing
    // while it stays (a run was asked to stop, the user chose Cancel, or a save began).
    std::optional<int> CloseRequest(const AskNow& ask);

    // rm7util: reads the six memories; the read is the job.
    void Read();
    // rm7util: reads, writes memory index with text (when it differs) and reads it back.
    void WriteOne(std::size_t index, const std::string& text);

    CCWMemoryStateMachine& Machine() { return m_machine; }
    CJobShell& Shell() { return m_shell; }
    bool Writing() const { return m_writing; }
    bool Busy() const { return m_shell.Busy(); }

  private:
    LResult OnMessage(std::uint32_t code, WParam wParam, LParam lParam) override;
    void Begin(bool writing, const char* status);
    void StartRead(std::function<void()> then);
    JobOutcome ReadOutcome(Result r);
    JobOutcome WriteOutcome(Result r, const std::string& changed);
    void Controls(bool enabled);

    CModel& m_model;
    ICWMemoryView* m_fields;
    CCWMemoryStateMachine m_machine;
    CObservation m_textsObservation;
    CJobStepView m_steps;
    CJobShell m_shell;
    bool m_writing = false;
    bool m_shown = false;
};

inline constexpr const char* kCwMemoryCaption = "Edit CW Memories";
inline constexpr const char* kCwProsignsText =
    "CW Prosigns:       _ AA      + AR      % AS      = BT      ( KN      * SK      ! VE";
inline constexpr const char* kCwSpecialsText = "\"~\" is half space, \"|\" is IM (..--)";
inline constexpr const char* kCwMemoryErrorCaption = "CW Memory Editor Error";
inline constexpr const char* kCwMemoryHelpTopic = "EditCWMemories.htm";
inline constexpr const char* kCwReadingStatus = "Reading CW Memories";
inline constexpr const char* kCwWritingStatus = "Writing CW Memories";
inline constexpr const char* kCwReadyStatus = "Ready";
inline constexpr const char* kCwCriticalText = "Saving CW memories. Cancel anyway?";
inline constexpr const char* kCwUnsavedCaption = "Unsaved Changes";
inline constexpr const char* kCwUnsavedText = "Changes have not been applied\r\n\r\nDo you want to save the changes?";
inline constexpr const char* kCwReadText = "The CW memories were read";
inline constexpr const char* kCwReadFailedText = "Failed to read the CW memories";
inline constexpr const char* kCwReadCancelledText = "Reading the CW memories was cancelled";
inline constexpr const char* kCwSavedText = "Saved CW memories";
inline constexpr const char* kCwUnchangedText = "No CW memory was changed: nothing was sent";
inline constexpr const char* kCwSaveFailedText = "Failed to save the CW memories";
inline constexpr const char* kCwSaveCancelledText = "Saving the CW memories was cancelled";
inline constexpr const char* kCwReadAgainText = "Open Edit CW Memories again to see what the radio holds";
inline constexpr int kCwDialogSaved = 1;
inline constexpr int kCwDialogClosed = 2;

}  // namespace rm7
