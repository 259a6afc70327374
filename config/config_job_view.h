#pragma once
// What the configuration save and restore dialogs must offer their jobs: a progress bar, the
// busy cursor, the Cancel button's text, the end of the dialog, message boxes and the file
// dialogs. The Qt dialogs implement it; tests implement it with a recorder.
#include <filesystem>
#include <optional>
#include <string>

#include "link/state_machine.h"
#include "model/user_notifier.h"

namespace rm7 {

class IConfigJobView : public IProgressBar {
  public:
    // The wait cursor over the dialog, except over its Cancel button.
    virtual void SetBusyCursor(bool busy) = 0;
    virtual void SetCancelButtonText(const std::string& text) = 0;
    // Closes the dialog with its result; may be called from inside a radio callback.
    virtual void EndDialog(int result) = 0;
    // May be called from inside a radio callback: must return at once and show the box later,
    // never run a nested event loop there.
    virtual void ShowMessage(const std::string& caption, const std::string& text, MessageIcon icon) = 0;
    // Asked only in answer to the user's own action (a button, a file choice), never from a
    // radio callback, so it may wait for the answer.
    virtual bool AskYesNo(const std::string& caption, const std::string& text, MessageIcon icon) = 0;
    // The file dialogs; nothing when the user cancels.
    virtual std::optional<std::filesystem::path> AskSaveFileName(const std::filesystem::path& folder,
                                                                 const std::string& proposedName) = 0;
    virtual std::optional<std::filesystem::path> AskOpenFileName(const std::filesystem::path& folder) = 0;

  protected:
    ~IConfigJobView() = default;
};

// The file dialogs' filter: configuration files, then every file.
inline constexpr const char* kConfigurationFileFilter = "RM7 Configuration File (*.RM7Config);;All Files (*)";

// The busy count of a job dialog: the wait cursor shows while it is above 0.
class CBusyCount {
  public:
    explicit CBusyCount(IConfigJobView& view) : m_view(view) {}
    void Enter() {
        if (m_count++ == 0) {
            m_view.SetBusyCursor(true);
        }
    }
    void Leave() {
        if (m_count > 0 && --m_count == 0) {
            m_view.SetBusyCursor(false);
        }
    }
    bool IsBusy() const { return m_count > 0; }

  private:
    IConfigJobView& m_view;
    int m_count = 0;
};

}  // namespace rm7
