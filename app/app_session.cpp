#include "app/app_session.h"

#include <QTimer>

#include "app/main_frame.h"
#include "link/tty_serial_port.h"
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
    std::string port = m_options.port;
    if (m_options.simulate) {
        const Result r = StartSimulatedRadio(m_simulator, m_options.simulator, m_options.simArgs, m_simulatedPort);
        if (r != kOk) {
            return r;
        }
        port = m_simulatedPort;
    }
    m_model = std::make_unique<CModel>(m_pump, &m_settings);
    m_radio = std::make_unique<CRadioSession>(*m_model, std::make_unique<CSerialPort>(m_pump));
    m_frame = std::make_unique<CMainFrame>(*m_radio, &m_settings, port);
    if (!m_settings.Warning().empty()) {
        // Once the loop runs and the window is up: the settings file was ignored, and why.
        QTimer::singleShot(0, m_frame.get(), [frame = m_frame.get(), text = m_settings.Warning()] {
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
