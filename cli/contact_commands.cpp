// ports, info and send: finding the radio and talking to it by hand.
#include <nlohmann/json.hpp>

#include "cli/commands.h"
#include "cli/job_views.h"
#include "cli/json_output.h"
#include "cli/session.h"
#include "link/port_name.h"
#include "link/serial_port.h"
#include "model/firmware_version.h"
#include "platform/error_text.h"
#include "platform/format.h"
#include "platform/last_error.h"
#include "platform/port_doctor.h"
#include "platform/serial_enum.h"
#include "platform/text.h"
#include "platform/tty.h"
#include "platform/version.h"

namespace rm7::cli {

int RunPorts(IEnvironment& env, const GlobalOptions& options) {
    const std::vector<SerialDeviceInfo> devices = EnumerateSerialDevices();
    if (options.json) {
        nlohmann::json out = nlohmann::json::array();
        for (const SerialDeviceInfo& d : devices) {
            out.push_back({{"path", JsonText(d.path)}, {"name", JsonText(d.displayName)}});
        }
        PrintJson(env.Out(), out);
        return 0;
    }
    if (devices.empty()) {
        env.Err() << "No serial devices found. A pty or link can still be given with --port.\n";
    }
    for (const SerialDeviceInfo& d : devices) {
        if (d.displayName != d.path) {
            env.Out() << StrFormat("%s\t%s\n", d.path.c_str(), d.displayName.c_str());
        } else {
            env.Out() << StrFormat("%s\n", d.path.c_str());
        }
    }
    return 0;
}

namespace {

const char* FirmwareStatusText(int status) {
    switch (status) {
        case kFirmwareBootLoader:
            return "boot loader: waiting for firmware load";
        case kFirmwareRunning:
            return "running its firmware";
        default:
            return "not responding";
    }
}

// What the contact found of the transmitter; empty when it was not asked (no firmware running).
std::string TransmitText(const CModel& model) {
    if (model.firmwareStatus.Get() != kFirmwareRunning) {
        return {};
    }
    switch (model.transmitState) {
        case CModel::TransmitState::kTransmitting:
            return "YES. Switch it to receive: rm7util send \"RX;\"";
        case CModel::TransmitState::kReceiving:
            return "no (receive)";
        case CModel::TransmitState::kUnknown:
            break;
    }
    return "unknown (no answer to TQ;)";
}

// In --json output the object says it; standard error tells the person.
constexpr const char* kSwitchToReceiveAdvice =
    "Switch it to receive: rm7util send \"RX;\" (a program stopped while it transmitted leaves it so).";

}  // namespace

int RunInfo(IEnvironment& env, const GlobalOptions& options) {
    return RunOnRadio(env, options, [&](CSession& session, CTerminalJobView&) {
        CModel& model = session.Model();
        const TarnwellDevice kind = model.deviceKind.Get();
        const std::string device = kind == kDeviceNone ? kModelName : DeviceName(kind);
        const int status = model.firmwareStatus.Get();
        const std::uint16_t serial = model.serialNumber.Get();
        const std::string port = model.portName.Get();
        const std::uint32_t speed = session.Radio().Port().Speed();
        // The option-module answer without its command name and terminator.
        std::string modules = model.optionModules;
        if (modules.rfind("OM", 0) == 0) {
            modules.erase(0, 2);
        }
        if (!modules.empty() && modules.back() == ';') {
            modules.pop_back();
        }
        const auto first = modules.find_first_not_of(' ');
        modules.erase(0, first == std::string::npos ? modules.size() : first);
        modules = Latin1ToUtf8(modules);
        if (options.json) {
            nlohmann::json out = {
                {"device", device},
                {"firmware_status", status},
                {"mcu_version", model.FirmwareVersionText(0)},
                {"dsp_version", model.FirmwareVersionText(1)},
                {"option_modules", modules},
                {"serial_number", serial == 0xFFFF ? nlohmann::json(nullptr) : nlohmann::json(serial)},
                {"port", JsonText(port)},
                {"speed", speed},
                {"transmitting", model.firmwareStatus.Get() != kFirmwareRunning ||
                                         model.transmitState == CModel::TransmitState::kUnknown
                                     ? nlohmann::json(nullptr)
                                     : nlohmann::json(model.transmitState == CModel::TransmitState::kTransmitting)},
            };
            PrintJson(env.Out(), out);
            if (model.transmitState == CModel::TransmitState::kTransmitting) {
                env.Err() << "rm7util: the radio is transmitting. " << kSwitchToReceiveAdvice << "\n";
            }
            return 0;
        }
        env.Out() << StrFormat("Device:          %s\n", device.c_str());
        env.Out() << StrFormat("Firmware status: %d (%s)\n", status, FirmwareStatusText(status));
        env.Out() << StrFormat("MCU version:     %s\n", model.FirmwareVersionText(0).c_str());
        env.Out() << StrFormat("DSP version:     %s\n", model.FirmwareVersionText(1).c_str());
        env.Out() << StrFormat("Option modules:  %s\n", modules.empty() ? "(none reported)" : modules.c_str());
        if (serial == 0xFFFF) {
            env.Out() << StrFormat("Serial number:   (not read)\n");
        } else {
            env.Out() << StrFormat("Serial number:   %05u\n", serial);
        }
        env.Out() << StrFormat("Port:            %s at %u bit/s\n", port.c_str(), speed);
        if (const std::string transmit = TransmitText(model); !transmit.empty()) {
            env.Out() << StrFormat("Transmitting:    %s\n", transmit.c_str());
        }
        return 0;
    });
}

int RunSend(IEnvironment& env, const GlobalOptions& options, const std::string& text, std::uint32_t waitMs) {
    return RunOnRadio(env, options, [&](CSession& session, CTerminalJobView&) {
        const CSession::IdleAnswer answer = session.ExchangeCommands(text, waitMs);
        // What came before a failure is shown; the failure is said once, after it.
        if (options.json) {
            PrintJson(env.Out(), {{"sent", JsonText(text)}, {"answer", PrintableForm(answer.bytes)}});
        } else {
            env.Out() << PrintableForm(answer.bytes) << "\n";
        }
        return answer.result == kOk ? 0 : ReportFailure(env.Err(), answer.result);
    });
}

int RunDoctor(IEnvironment& env, const GlobalOptions& options) {
    if (options.simulate) {
        env.Err() << "doctor checks a real port: give --port DEV, not --simulate\n";
        return 2;
    }
    CSession session(env, options);
    CModel& model = session.Model();
    const std::string device = options.port.empty() ? model.portName.Get() : options.port;
    if (device.empty()) {
        SayFailure(env.Err(), "doctor", "no port chosen");
        SayHint(env.Err(), "give --port DEV or RM7_PORT (rm7util ports lists this machine's serial devices).");
        return 2;
    }
    const DoctorSystem system = LocalDoctorSystem();
    // A port on the network has no device here to look at: the connection is what is checked.
    const bool network = IsNetworkPortName(device);
    std::vector<DoctorFinding> findings;
    if (!network) {
        findings = DiagnoseDevice(device, system);
    }
    if (network || findings.front().ok) {
        // The contact opens the port asking for low latency; the timer is read while it is open.
        const Result r = session.Contact();
        DoctorFinding latency = network ? NetworkPortFinding(device, r) : LatencyFinding(device, system);
        const bool connected = latency.ok || !network;
        DoctorFinding radio{"radio", r == kOk, "", ""};
        if (r == kOk) {
            const int status = model.firmwareStatus.Get();
            radio.text =
                StrFormat("A radio answers at %u bit/s: %s, %s.", session.Radio().Port().Speed(),
                          model.deviceKind.Get() == kDeviceNone ? kModelName : DeviceName(model.deviceKind.Get()),
                          FirmwareStatusText(status));
            if (status == kFirmwareBootLoader) {
                radio.advice = "Load firmware (rm7util firmware update).";
            }
        } else if (!session.PortOpened()) {
            // Not a matter of the radio: the port itself would not open (busy, not allowed, ...).
            radio.text = StrFormat("The port did not open: %s.", PortOpenFailureText(device, r).c_str());
            radio.advice = PortOpenHint(device, r);
        } else {
            radio.text = StrFormat("No radio answers: %s", ErrorText(r).c_str());
            radio.advice = "Check that the radio is switched on and its cable plugged in, and that this is its port.";
        }
        findings.push_back(std::move(latency));
        if (connected) {
            findings.push_back(std::move(radio));
        }
        if (r == kOk && model.firmwareStatus.Get() == kFirmwareRunning) {
            DoctorFinding transmit{"transmitter", model.transmitState == CModel::TransmitState::kReceiving, "", ""};
            if (model.transmitState == CModel::TransmitState::kTransmitting) {
                transmit.text = "The radio is transmitting.";
                transmit.advice = kSwitchToReceiveAdvice;
            } else if (model.transmitState == CModel::TransmitState::kReceiving) {
                transmit.text = "The radio is in receive.";
            } else {
                transmit.text = "The radio did not say whether it is transmitting (no answer to TQ;).";
                transmit.advice = "Look at the radio: if it transmits, switch it to receive.";
            }
            findings.push_back(std::move(transmit));
        }
    }
    bool ok = true;
    for (const DoctorFinding& f : findings) {
        ok = ok && f.ok;
    }
    if (options.json) {
        nlohmann::json list = nlohmann::json::array();
        for (const DoctorFinding& f : findings) {
            list.push_back({{"check", f.check},
                            {"ok", f.ok},
                            {"text", JsonText(f.text)},
                            {"advice", f.advice.empty() ? nlohmann::json(nullptr) : JsonText(f.advice)}});
        }
        PrintJson(env.Out(), {{"port", JsonText(device)}, {"ok", ok}, {"findings", list}});
    } else {
        for (const DoctorFinding& f : findings) {
            env.Out() << DoctorFindingLine(f) << "\n";
        }
    }
    return ok ? 0 : 1;
}

}  // namespace rm7::cli
