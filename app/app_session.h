#pragma once
// One run of the desktop application: the Qt pump, the settings, the model on a real serial
// port, the simulated radio when asked for, and the main window, built and torn down in order.
#include <filesystem>
#include <memory>
#include <string>

#include "app/qt_pump.h"
#include "link/radio_session.h"
#include "model/model.h"
#include "platform/child_process.h"
#include "platform/settings.h"
#include "platform/simulated_firmware.h"

namespace rm7 {

class CMainFrame;

struct AppOptions {
    std::string port;                 // this run's port; empty: the saved "Port"
    bool simulate = false;            // start rm7-sim on a pty and use that
    std::string simArgs;              // options for the simulated radio, blank-separated
    std::filesystem::path simulator;  // the simulated radio's program; empty: rm7-sim beside this one
};

class CAppSession {
  public:
    explicit CAppSession(AppOptions options);
    ~CAppSession();
    CAppSession(const CAppSession&) = delete;
    CAppSession& operator=(const CAppSession&) = delete;

    // Starts the simulated radio when asked, then builds the model and the main window (which
    // starts looking for the radio). Fails only when the simulated radio cannot be started.
    Result Start();

    CQtPump& Pump() { return m_pump; }
    CSettingsStore& Settings() { return m_settings; }
    CModel& Model() { return *m_model; }
    CRadioSession& Radio() { return *m_radio; }
    CMainFrame& Frame() { return *m_frame; }
    // The simulated radio's device; empty without --simulate.
    const std::string& SimulatedPort() const { return m_simulatedPort; }
    // Closes and destroys the main window now: the settings and the placement are saved.
    void CloseFrame();

  private:
    AppOptions m_options;
    CQtPump m_pump;
    CSettingsStore m_settings;
    CChildProcess m_simulator;
    CSimulatedFirmware m_firmware;
    std::string m_simulatedPort;
    std::unique_ptr<CModel> m_model;
    std::unique_ptr<CRadioSession> m_radio;
    std::unique_ptr<CMainFrame> m_frame;
};

}  // namespace rm7
