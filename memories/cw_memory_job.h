#pragma once
// CCWMemoryJob: everything the "Edit CW Memories" dialog decides: the read when it is first
// shown, "Save", the close request and its questions, and what a completion shows. The Qt
// dialog only shows and forwards.
//
// Threads: UI thread only, like the machine it owns.
#include <cstddef>
#include <string>

#include "link/job_run.h"
#include "memories/cw_memory.h"
#include "model/user_notifier.h"
#include "platform/job_texts.h"

namespace rm7 {

// What the dialog must offer its job.
class ICWMemoryView {
  public:
    // Puts a memory's text into its edit box and enables that box.
    virtual void ShowMemory(std::size_t index, const std::string& text) = 0;
    // Every control but the static texts, "Cancel" and "Help".
    virtual void SetControlsEnabled(bool enabled) = 0;
    // The wait cursor over the dialog, except over its Cancel button.
    virtual void SetBusyCursor(bool busy) = 0;
    virtual void FocusCancel() = 0;
    // May be called from inside a radio callback: must return at once and show the box later.
    virtual void ShowMessage(const std::string& caption, const std::string& text, MessageIcon icon) = 0;
    // Asked only in answer to the user's own action, so it may wait for the answer; the
    // exclamation icon; Cancel is offered (and the default) only when withCancel.
    virtual Answer Ask(const Question& question) = 0;
    // Ends the dialog with 1 (saved) or 2; may be called from inside a radio callback.
    virtual void EndDialog(int result) = 0;

  protected:
    ~ICWMemoryView() = default;
};

class CCWMemoryJob final : private IMessageTarget {
  public:
    CCWMemoryJob(CRadioSession& session, ICWMemoryView& view);
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
    // "Save": writes the changed memories; the dialog ends when the write completes.
    void Save();
    // "Cancel" or the window's close request.
    void CloseRequest();

    CCWMemoryStateMachine& Machine() { return m_machine; }
    bool Writing() const { return m_writing; }
    bool Busy() const { return m_busy > 0; }

  private:
    LResult OnMessage(std::uint32_t code, WParam wParam, LParam lParam) override;
    void Begin(bool writing, const char* status);
    void OnCompletion(Result r);

    CModel& m_model;
    ICWMemoryView& m_view;
    CCWMemoryStateMachine m_machine;
    CObservation m_textsObservation;
    CJobRun m_run;
    bool m_writing = false;
    bool m_shown = false;
    int m_busy = 0;
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
inline constexpr int kCwDialogSaved = 1;
inline constexpr int kCwDialogClosed = 2;

}  // namespace rm7
