#include "config/save_machine.h"

#include "config/file_classes.h"

#include <system_error>

#include "config/config_folder.h"
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

CConfigSaveJob::CConfigSaveJob(CRadioSession& session, IJobView& view, CSettingsStore* settings, SavedAtTime savedAt,
                               std::function<std::filesystem::path()> defaultFolder)
    : m_model(session.Model()),
      m_settings(settings),
      m_savedAt(savedAt),
      m_defaultFolder(std::move(defaultFolder)),
      m_machine(session),
      m_shell(session, m_machine, view, {"config save", kSaveStepText, std::nullopt, kSaveCancelledText}),
      m_folderSetting(session.Pump(), 0, kConfigurationFolderSetting) {
    LoadFolderSetting(m_folderSetting, m_settings);
    m_machine.SetProgressBar(&m_shell.Progress());
}

CConfigSaveJob::~CConfigSaveJob() {
    End();
    StoreFolderSetting(m_folderSetting, m_settings);
}

std::string CConfigSaveJob::ProposedName() const {
    return ProposedConfigurationFileName(m_model.serialNumber.Get(), m_savedAt);
}

bool CConfigSaveJob::Begin(const AskFile& askFile) {
    m_shell.Claim();
    const std::filesystem::path folder = ResolveConfigurationFolder(m_folderSetting, m_defaultFolder);
    const std::optional<std::filesystem::path> chosen = askFile ? askFile(folder, ProposedName()) : std::nullopt;
    if (!chosen || chosen->empty()) {
        m_model.StatusText(kSaveCancelledText);
        return false;
    }
    Start(*chosen);
    return true;
}

void CConfigSaveJob::Start(const std::filesystem::path& file) {
    m_chosenPath = file;
    m_shell.Run([this] { return m_machine.StartSave(); }, [this](Result r) { return Finish(r); });
}

JobOutcome CConfigSaveJob::Finish(Result r) {
    const bool writing = !Failed(r);
    if (writing) {
        r = WriteConfigurationFile(m_chosenPath, m_savedAt, m_machine.Image(),
                                   {m_model.FirmwareVersionText(0), m_model.serialNumber.Get()});
    }
    // The save only reads: whatever happened, the radio is as it was.
    if (r == kOk) {
        m_folderSetting.Set(m_chosenPath.parent_path().string());
        JobOutcome done = JobOutcome::Done(kConfigSavedText);
        done.file = m_chosenPath;
        return done;
    }
    if (r == kErrorCancelled) {
        return JobOutcome::Cancelled(kSaveCancelledText);
    }
    JobOutcome failed = JobOutcome::Failed(kSaveFailedText, r);
    failed.file = m_chosenPath;
    // A file that could not be written is named: the writer shows nothing of its own.
    if (writing) {
        failed.why = FileFailureText(m_chosenPath, r);
    }
    return failed;
}

void CConfigSaveJob::End() {
    m_shell.Release();
}

}  // namespace rm7
