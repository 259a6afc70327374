#include "app/app_session.h"

#include <QTimer>

#include "app/main_frame.h"
#include "link/port_by_name.h"
#include "platform/error_text.h"
#include "platform/format.h"
#include "platform/paths.h"
#include "platform/version.h"

namespace rm7 {

CAppSession::CAppSession(AppOptions options) : m_options(std::move(options)), m_settings(SettingsFilePath()) {
    m_settings.Load();
}

CAppSession::~CAppSession() {
    CloseFrame();
    m_radio.reset();
    m_model.reset();
    m_simulator.Stop();
}

Result CAppSession::Start() {
    CMainFrame::RunOverrides run;
    std::string warning = m_settings.Warning();
    run.port = m_options.port;
    if (m_options.simulate) {
        const Result r = StartSimulatedRadio(m_simulator, m_options.simulator, m_options.simArgs, m_simulatedPort);
        if (r != kOk) {
            return r;
        }
        run.port = m_simulatedPort;
        // The folder starts empty and the mirror holds newer firmware: copy, then load. Without
        // them the run goes on with the saved folder and server.
        const std::filesystem::path simulator = m_options.simulator;
        const Result made = m_firmware.Create(
            [&](const std::filesystem::path& dir) { return MakeSimulatedFirmware(simulator, dir); }, false);
        if (made == kOk) {
            run.firmwareFolder = m_firmware.Folder().string();
            run.fileServer = m_firmware.ServerUrl();
            run.backupFolder = m_firmware.BackupFolder().string();
        } else {
            warning = StrFormat(
                "The simulated radio's firmware could not be made (%s): the saved firmware folder "
                "and file server are used.",
                ErrorText(made).c_str());
        }
    }
    m_model = std::make_unique<CModel>(m_pump, &m_settings);
    m_radio = std::make_unique<CRadioSession>(*m_model, MakeSerialPort(m_pump));
    m_frame = std::make_unique<CMainFrame>(*m_radio, &m_settings, std::move(run));
    if (!warning.empty()) {
        // Once the loop runs and the window is up: the settings file was ignored, or the simulated
        // firmware is missing, and why.
        QTimer::singleShot(0, m_frame.get(), [frame = m_frame.get(), text = warning] {
            frame->MessageBox(kProductName, text, MessageIcon::Warning);
        });
    }
    return kOk;
}

void CAppSession::CloseFrame() {
    if (m_frame != nullptr) {
        m_frame->close();
        m_frame.reset();
    }
}

}  // namespace rm7
