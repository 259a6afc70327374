#pragma once
// CConfigCompareJob: the Configuration page's "Compare with Radio..." without its windows. It
// asks for a file, reads and checks it, reads the radio with the configuration save machine and
// gives the differences as `rm7util config diff FILE --radio` prints them.
//
// Threads: UI thread only, like every machine.
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "config/config_diff.h"
#include "config/config_job_view.h"
#include "config/save_machine.h"
#include "link/job_run.h"

namespace rm7 {

class CSettingsStore;

class CConfigCompareJob final {
  public:
    static constexpr int kCompared = 1;
    static constexpr int kCancelled = 2;
    static constexpr int kFailed = 3;

    // settings may be null (the folder is then neither loaded nor stored).
    CConfigCompareJob(CRadioSession& session, IConfigJobView& view, CSettingsStore* settings,
                      std::function<std::filesystem::path()> defaultFolder);
    ~CConfigCompareJob();
    CConfigCompareJob(const CConfigCompareJob&) = delete;
    CConfigCompareJob& operator=(const CConfigCompareJob&) = delete;

    // The dialog was first shown: asks for the file, reads it, then reads the radio.
    void Begin();
    // The Cancel/Close button or the window's close request: a read stops at its next step.
    void Cancel();
    void End();

    CConfigSaveStateMachine& Machine() { return m_machine; }
    std::optional<Result> LastResult() const { return m_lastResult; }
    // Once compared: the differences, and their text.
    const ConfigurationDifference& Difference() const { return m_difference; }
    const std::string& DifferenceText() const { return m_text; }

  private:
    class CReaderNotifier final : public IUserNotifier {
      public:
        CReaderNotifier(CModel& model, IConfigJobView& view) : m_model(model), m_view(view) {}
        void StatusText(const std::string& text) override { m_model.StatusText(text); }
        void MessageBox(const std::string& caption, const std::string& text, MessageIcon icon) override {
            m_model.StatusText(text);
            m_view.ShowMessage(caption, text, icon);
        }
        bool AskYesNo(const std::string&, const std::string&, MessageIcon) override { return false; }

      private:
        CModel& m_model;
        IConfigJobView& m_view;
    };

    void OnCompletion(Result r);

    CModel& m_model;
    IConfigJobView& m_view;
    CSettingsStore* m_settings;
    std::function<std::filesystem::path()> m_defaultFolder;
    CConfigSaveStateMachine m_machine;
    CReaderNotifier m_readerNotifier;
    CJobRun m_run;
    CPersistable<std::string> m_folderSetting;
    std::filesystem::path m_file;
    ConfigurationSide m_fileSide;
    ConfigurationDifference m_difference;
    std::string m_text;
    std::optional<Result> m_lastResult;
    CBusyCount m_busy{m_view};
};

inline constexpr const char* kCompareCaption = "Compare with Radio";
inline constexpr const char* kCompareErrorCaption = "Compare Configuration Error";
inline constexpr const char* kRadioSideName = "the radio";

}  // namespace rm7
