#include "config/save_machine.h"

#include "config/file_classes.h"

#include <system_error>

#include "config/config_folder.h"
#include "platform/error_text.h"
#include "platform/settings.h"

namespace rm7 {

void CConfigSavePicPromLoopBodyState::Init() {
    CReadPicPromState::Init();
    CConfigSaveStateMachine& machine = Host();
    const EepromRange& range = kConfigurationRanges[machine.LoopIndex()];
    SetTransfer(range.start, range.length, machine.Image().data() + range.start);
}

CConfigSaveStateMachine::CConfigSaveStateMachine(CRadioSession& session)
    : CProgressBarStateHost(session, kTimerId, kUnitsPerStep),
      m_loopInit(*this, "LoopInit", &m_findSpeed),
      m_findSpeed(*this, &m_textTerminalOff),
      m_textTerminalOff(*this, &m_loopTest),
      m_rangeRead(*this, &m_loopStep),
      m_loopStep(*this, "LoopStep", &m_loopTest),
      m_loopTest(*this, "LoopTest", &m_rangeRead, &FinalState()),
      m_image(std::make_unique<EepromImage>()) {
    m_image->fill(0xFF);
}

bool CConfigSaveStateMachine::StartSave() {
    if (!IsIdle()) {
        SetLastError(kErrBusyStateMachine);
        return false;
    }
    SetRange(static_cast<std::uint32_t>(kConfigurationByteCount));
    return Start(m_loopInit);
}

std::filesystem::path ResolveConfigurationFolder(CPersistable<std::string>& folderSetting,
                                                 const std::function<std::filesystem::path()>& defaultFolder) {
    const std::string stored = folderSetting.Get();
    std::error_code ec;
    if (!stored.empty() && std::filesystem::is_directory(stored, ec)) {
        return stored;
    }
    const std::filesystem::path folder = defaultFolder();
    folderSetting.Set(folder.string());
    return folder;
}

void LoadFolderSetting(CPersistable<std::string>& folderSetting, const CSettingsStore* settings) {
    if (settings != nullptr) {
        folderSetting.Load(*settings);
    }
}

void StoreFolderSetting(CPersistable<std::string>& folderSetting, CSettingsStore* settings) {
    if (settings == nullptr || folderSetting.Get().empty()) {
        return;
    }
    std::string before;
    settings->ReadString("", folderSetting.Name(), before);
    folderSetting.Save(*settings);
    if (before != folderSetting.Get()) {
        settings->Save();
    }
}

CConfigSaveJob::CConfigSaveJob(CRadioSession& session, IConfigJobView& view, CSettingsStore* settings,
                               SavedAtTime savedAt, std::function<std::filesystem::path()> defaultFolder)
    : m_model(session.Model()),
      m_view(view),
      m_settings(settings),
      m_savedAt(savedAt),
      m_defaultFolder(std::move(defaultFolder)),
      m_machine(session),
      m_run(session, m_machine, [this](Result r) { OnCompletion(r); }),
      m_folderSetting(session.Pump(), 0, kConfigurationFolderSetting) {
    LoadFolderSetting(m_folderSetting, m_settings);
}

CConfigSaveJob::~CConfigSaveJob() {
    End();
    StoreFolderSetting(m_folderSetting, m_settings);
}

void CConfigSaveJob::Begin() {
    m_run.Claim();

    const std::filesystem::path folder = ResolveConfigurationFolder(m_folderSetting, m_defaultFolder);
    const std::string proposed = ProposedConfigurationFileName(m_model.serialNumber.Get(), m_savedAt);
    const std::optional<std::filesystem::path> chosen = m_view.AskSaveFileName(folder, proposed);
    if (!chosen || chosen->empty()) {
        m_view.EndDialog(kCancelled);
        return;
    }
    m_chosenPath = *chosen;
    m_machine.SetProgressBar(&m_view);
    m_busy.Enter();
    m_run.Start([this] { return m_machine.StartSave(); });
}

void CConfigSaveJob::OnCompletion(Result r) {
    const bool writing = !Failed(r);
    if (writing) {
        r = WriteConfigurationFile(m_chosenPath, m_savedAt, m_machine.Image(),
                                   {m_model.FirmwareVersionText(0), m_model.serialNumber.Get()});
    }
    m_busy.Leave();
    m_lastResult = r;
    if (r == kOk) {
        m_folderSetting.Set(m_chosenPath.parent_path().string());
        m_model.StatusText(kConfigSavedText);
        m_view.EndDialog(kSaved);
    } else if (r == kErrorCancelled) {
        m_model.StatusText(kSaveCancelledText);
        m_view.EndDialog(kCancelled);
    } else {
        m_model.StatusText(kSaveFailedText);
        // A file that could not be written is named: the writer shows nothing of its own.
        const std::string text = writing ? FileFailureText(m_chosenPath, r) : ErrorText(r);
        m_model.StatusText(text);
        m_view.ShowMessage(kSaveErrorCaption, text, MessageIcon::Error);
        m_view.SetCancelButtonText("Close");
    }
}

void CConfigSaveJob::Cancel() {
    if (!m_machine.IsIdle()) {
        m_model.StatusText(kSaveCancelledText);
        // The machine ends at its next step and the completion closes the dialog.
        m_machine.Cancel();
        return;
    }
    if (m_lastResult && *m_lastResult != kOk && *m_lastResult != kErrorCancelled) {
        // The button reads "Close" now: the failure stays on the status line.
        m_view.EndDialog(kFailed);
        return;
    }
    m_model.StatusText(kSaveCancelledText);
    m_view.EndDialog(kCancelled);
}

void CConfigSaveJob::End() {
    m_run.Release();
}

}  // namespace rm7
