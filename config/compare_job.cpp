#include "config/compare_job.h"

#include "config/file_classes.h"

#include "platform/error_text.h"

namespace rm7 {

CConfigCompareJob::CConfigCompareJob(CRadioSession& session, IConfigJobView& view, CSettingsStore* settings,
                                     std::function<std::filesystem::path()> defaultFolder)
    : m_model(session.Model()),
      m_view(view),
      m_settings(settings),
      m_defaultFolder(std::move(defaultFolder)),
      m_machine(session),
      m_readerNotifier(m_model, view),
      m_run(session, m_machine, [this](Result r) { OnCompletion(r); }),
      m_folderSetting(session.Pump(), 0, kConfigurationFolderSetting) {
    LoadFolderSetting(m_folderSetting, m_settings);
}

CConfigCompareJob::~CConfigCompareJob() {
    End();
    StoreFolderSetting(m_folderSetting, m_settings);
}

void CConfigCompareJob::Begin() {
    m_run.Claim();
    const std::filesystem::path folder = ResolveConfigurationFolder(m_folderSetting, m_defaultFolder);
    const std::optional<std::filesystem::path> chosen = m_view.AskOpenFileName(folder);
    if (!chosen || chosen->empty()) {
        m_view.EndDialog(kCancelled);
        return;
    }
    // A damaged file is refused before the radio is read; the reader has said what it found, and
    // a file it could not load is said here, once.
    const Result read = ReadConfigurationSide(*chosen, &m_readerNotifier, m_fileSide);
    if (read != kOk) {
        if (IsSystemFailure(read)) {
            m_readerNotifier.MessageBox(kConfigReadErrorCaption, FileFailureText(*chosen, read), MessageIcon::Error);
        }
        m_lastResult = read;
        m_view.SetCancelButtonText("Close");
        return;
    }
    m_file = *chosen;
    m_folderSetting.Set(chosen->parent_path().string());
    m_machine.SetProgressBar(&m_view);
    m_busy.Enter();
    if (!m_run.Start([this] { return m_machine.StartSave(); })) {
        m_run.Release();
    }
}

void CConfigCompareJob::OnCompletion(Result r) {
    m_busy.Leave();
    m_lastResult = r;
    if (r == kErrorCancelled) {
        m_view.EndDialog(kCancelled);
        return;
    }
    if (r != kOk) {
        m_view.SetCancelButtonText("Close");
        const std::string text = ErrorText(r);
        m_model.StatusText(text);
        m_view.ShowMessage(kCompareErrorCaption, text, MessageIcon::Error);
        return;
    }
    ConfigurationSide radio;
    radio.image = m_machine.Image();
    if (m_model.serialNumber.Get() != kNoSerialNumber) {
        radio.serialNumber = m_model.serialNumber.Get();
    }
    m_difference = CompareConfigurations(m_fileSide, radio);
    m_text = ConfigurationDifferenceText(m_difference, m_file.string(), kRadioSideName);
    m_view.EndDialog(kCompared);
}

void CConfigCompareJob::Cancel() {
    // Reading changes nothing on the radio: no question before it stops.
    if (RequestStop(m_machine) != StopRequest::kIdle) {
        return;
    }
    if (m_run.Running()) {
        return;
    }
    const Result r = m_lastResult.value_or(kErrorCancelled);
    m_view.EndDialog(r == kErrorCancelled ? kCancelled : kFailed);
}

void CConfigCompareJob::End() {
    m_run.Release();
}

}  // namespace rm7
