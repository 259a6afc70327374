#pragma once
// What the Port page decides, apart from the view: the port and speed lists, what a choice
// of port or speed does, "Close Port", "Test Communications", and what the page does when
// the port opens or the firmware status changes. The view shows lists and forwards clicks.
//
// Threads: UI thread only, as the model.
#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "link/radio_session.h"
#include "model/model.h"
#include "platform/port_doctor.h"
#include "platform/serial_enum.h"

namespace rm7 {

// "/dev/ttyUSB0 (usb-FTDI_FT232R_USB_UART_A5-if00-port0)", or the path alone when the device
// has no by-id name.
std::string SerialDeviceLabel(const SerialDeviceInfo& device);

struct PortListEntry {
    std::string label;
    std::string port;  // the device path that is stored as the port name
    bool operator==(const PortListEntry&) const = default;
};

// The machine's devices in their order (with their /dev/serial/by-id names, as "rm7util ports"
// lists them), then the other ports that have opened, in the order they did: a pty, a link, a
// port on the network. A typed name that never opened is no entry; the page still shows the
// port in use as the field's text, so the user's port is never lost from sight.
std::vector<PortListEntry> PortListEntries(const std::vector<SerialDeviceInfo>& devices,
                                           const std::vector<std::string>& openedPorts);
// The entry that holds the port; -1 when none does (an empty port selects nothing).
int PortListIndex(const std::vector<PortListEntry>& entries, const std::string& port);
// What the user picked or typed: a label stands for its device, other text is a device path
// (surrounding blanks dropped; a bare name such as "ttyUSB0" is taken from /dev).
std::string PortFromInput(const std::vector<PortListEntry>& entries, const std::string& text);

struct SpeedChoice {
    const char* label;
    unsigned long speed;  // 0: search every speed
};
inline constexpr std::array<SpeedChoice, 5> kSpeedChoices{{
    {"AUTO", 0},
    {"38400", 38400},
    {"19200", 19200},
    {"9600", 9600},
    {"4800", 4800},
}};
// The entry showing the fixed speed; "AUTO" when no entry does.
std::size_t SpeedChoiceIndex(unsigned long fixedSpeed);

inline constexpr const char* kAccessDeniedCaption = "Serial Port Access Denied";
inline constexpr const char* kDiagnosisCaption = "Serial Port Diagnosis";
inline constexpr const char* kSerialPortCaption = "Serial Port";

class CPortPageLogic {
  public:
    explicit CPortPageLogic(CRadioSession& session) : m_session(session), m_model(session.Model()) {}

    // A different port becomes the port name (the main window then closes the old port and
    // contacts the new one); the same port again changes nothing. True when it changed.
    bool ChoosePort(const std::string& port);
    // Used from the next speed search on.
    void ChooseSpeed(std::size_t index);
    void ClosePort();

    enum class TestOutcome { Started, NoPort, NotADevice };
    // Closes the port and contacts the radio anew; the contact's end is told in a box
    // (OnContactEnded). NoPort: there is no port to try; the user has been asked to choose one,
    // and the view drops its port list down. NotADevice: the path is missing or no device, said
    // at once in a box; nothing was closed or started.
    TestOutcome TestCommunications();

    // The port's state changed: a port that opened joins the list; one opened outside a contact
    // run (and no radio is known) is contacted.
    void OnPortState();
    // A machine ended with result (the port event). The contact that Test Communications started
    // tells its outcome in a box: what was found, or why the port did not open. At start-up and
    // after other contacts the status bar's indicator tells it, without a box.
    void OnContactEnded(Result result);
    // The page is left: a box would come out of nowhere later.
    void ForgetTest() { m_testing = false; }

    // The port list: the machine's devices and the ports that opened in this run.
    std::vector<PortListEntry> Entries(const std::vector<SerialDeviceInfo>& devices) const {
        return PortListEntries(devices, m_openedPorts);
    }

    // A contact ended with result: when the port could not be had for want of access, the
    // question that offers the doctor's diagnosis (asked later, from the event loop).
    std::optional<Question> AccessDeniedQuestion(Result result) const;
    // The doctor's findings on the chosen port, one line each.
    std::string DiagnosisText(const DoctorSystem& system) const;

  private:
    CRadioSession& m_session;
    CModel& m_model;
    std::vector<std::string> m_openedPorts;
    bool m_testing = false;  // a contact of Test Communications runs
};

}  // namespace rm7
