#pragma once
// CBannerJob: everything the "Edit Power On Banner" sheet and rm7util's `banner` decide, run
// through the job shell, so that the Qt sheet only shows and forwards. The sheet's read is a step;
// the save (or rm7util's read or write) is the job, whose outcome is told once.
//
// Threads: UI thread only, like the machine it owns.
#include <functional>
#include <string>

#include "link/job_shell.h"
#include "link/job_step_view.h"
#include "memories/banner_machine.h"
#include "model/messages.h"
#include "model/user_notifier.h"

namespace rm7 {

// The sheet's own controls, which the job fills and enables.
class IBannerView {
  public:
    // Puts the banner into the edit box.
    virtual void ShowText(const std::string& text) = 0;
    // Whether "Save" has something to write.
    virtual void SetChanged(bool changed) = 0;
    // The edit box takes typing only once the banner has been read.
    virtual void SetEditable(bool editable) = 0;

  protected:
    ~IBannerView() = default;
};

// The "Edit Power On Banner" sheet without its window, and rm7util's banner.
class CBannerJob final : private IMessageTarget {
  public:
    // fields may be null (rm7util has none).
    CBannerJob(CRadioSession& session, IJobView& view, IBannerView* fields = nullptr);
    ~CBannerJob();
    CBannerJob(const CBannerJob&) = delete;
    CBannerJob& operator=(const CBannerJob&) = delete;

    // The page was shown: the machine becomes the active one and reads the banner.
    void Show();
    // The page was hidden or is going away: no more notices, no active machine.
    void Hide();
    // The edit box lost the focus with this text.
    void EditFinished(const std::string& text);
    // "Save"; true when the sheet stays open (a write has begun, or the machine is busy).
    bool Apply();
    // Cancel or the window's close request; true when the sheet stays open for now (a run was
    // asked to stop: its outcome follows).
    bool QueryCancel();

    // rm7util: reads the banner; the read is the job.
    void Read();
    // rm7util: writes text (already tidied) and reads it back.
    void Write(const std::string& text);

    CBannerStateMachine& Machine() { return m_machine; }
    CJobShell& Shell() { return m_shell; }
    bool SaveStarted() const { return m_saveStarted; }

  private:
    LResult OnMessage(std::uint32_t code, WParam wParam, LParam lParam) override;
    void StartRead(std::function<void()> then);
    void StartWrite();
    JobOutcome ReadOutcome(Result r);
    JobOutcome WriteOutcome(Result r, const std::string& written);
    void Editable(bool editable);

    CModel& m_model;
    IBannerView* m_fields;
    CBannerStateMachine m_machine;
    CObservation m_textObservation;
    CJobStepView m_steps;
    CJobShell m_shell;
    bool m_saveStarted = false;
    bool m_shown = false;
};

inline constexpr const char* kBannerCaption = "Edit Power On Banner";
inline constexpr const char* kBannerPrompt = "Enter up to 22 characters of Power On Banner text:";
inline constexpr const char* kBannerErrorCaption = "Power On Banner Error";
inline constexpr const char* kBannerHelpTopic = "Configuration.htm#PowerOnBanner";
inline constexpr const char* kBannerReadText = "The power-on banner was read";
inline constexpr const char* kBannerReadFailedText = "Failed to read the power-on banner";
inline constexpr const char* kBannerReadCancelledText = "Reading the power-on banner was cancelled";
inline constexpr const char* kBannerSaveFailedText = "Failed to save the power-on banner";
inline constexpr const char* kBannerSaveCancelledText = "Saving the power-on banner was cancelled";
inline constexpr const char* kBannerReadAgainText =
    "The radio may hold part of the new text: read the banner again to see what it shows";

}  // namespace rm7
