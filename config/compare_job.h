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
#include "config/save_machine.h"
#include "link/job_run.h"
#include "link/job_shell.h"

namespace rm7 {

class CSettingsStore;

class CConfigCompareJob final {
  public:
    static constexpr int kCompared = 1;
    static constexpr int kCancelled = 2;
    static constexpr int kFailed = 3;

    using AskOpenFile = std::function<std::optional<std::filesystem::path>(const std::filesystem::path& folder)>;

    // settings may be null (the folder is then neither loaded nor stored).
    CConfigCompareJob(CRadioSession& session, IJobView& view, CSettingsStore* settings,
                      std::function<std::filesystem::path()> defaultFolder);
    ~CConfigCompareJob();
    CConfigCompareJob(const CConfigCompareJob&) = delete;
    CConfigCompareJob& operator=(const CConfigCompareJob&) = delete;

    // The dialog was first shown: asks for the file, reads it, then reads the radio. False when
    // no file was chosen (nothing ran); a damaged file ends the job as failed, with the reader's box.
    bool Begin(const AskOpenFile& askFile);
    // The Cancel/Close button or the window's close request: a read stops at its next step,
    // without a question (reading changes nothing on the radio).
    StopRequest Cancel() { return m_shell.RequestStop(); }
    void End();

    CConfigSaveStateMachine& Machine() { return m_machine; }
    CJobShell& Shell() { return m_shell; }
    std::optional<Result> LastResult() const { return m_shell.LastResult(); }
    // Once compared: the differences, and their text.
    const ConfigurationDifference& Difference() const { return m_difference; }
    const std::string& DifferenceText() const { return m_text; }

  private:
    // The reader's boxes are the job's.
    class CReaderNotifier final : public IUserNotifier {
      public:
        CReaderNotifier(CModel& model, CJobShell& shell) : m_model(model), m_shell(shell) {}
        void StatusText(const std::string& text) override { m_model.StatusText(text); }
        void MessageBox(const std::string& caption, const std::string& text, MessageIcon icon) override {
            m_model.StatusText(text);
            m_shell.Box(caption, text, icon);
        }
        bool AskYesNo(const std::string&, const std::string&, MessageIcon) override { return false; }

      private:
        CModel& m_model;
        CJobShell& m_shell;
    };

    JobOutcome Finish(Result r);

    CModel& m_model;
    CSettingsStore* m_settings;
    std::function<std::filesystem::path()> m_defaultFolder;
    CConfigSaveStateMachine m_machine;
    CJobShell m_shell;
    CReaderNotifier m_readerNotifier{m_model, m_shell};
    CPersistable<std::string> m_folderSetting;
    std::filesystem::path m_file;
    ConfigurationSide m_fileSide;
    ConfigurationDifference m_difference;
    std::string m_text;
};

inline constexpr const char* kComparedText = "The file was compared with the radio";
inline constexpr const char* kCompareCancelledText = "Compare with the radio was cancelled";
inline constexpr const char* kCompareFailedText = "Failed to compare with the radio";
inline constexpr const char* kCompareStepText = "Reading the radio's configuration";
inline constexpr const char* kCompareCaption = "Compare with Radio";
inline constexpr const char* kCompareErrorCaption = "Compare Configuration Error";
inline constexpr const char* kRadioSideName = "the radio";

}  // namespace rm7
