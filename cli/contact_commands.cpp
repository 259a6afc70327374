// ports, info and send: finding the radio and talking to it by hand.
#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <iostream>

#include "cli/commands.h"
#include "cli/session.h"
#include "link/serial_port.h"
#include "model/firmware_version.h"
#include "platform/error_text.h"
#include "platform/last_error.h"
#include "platform/serial_enum.h"
#include "platform/text.h"
#include "platform/version.h"

namespace rm7::cli {
namespace {

int RunPorts(const GlobalOptions& options) {
    const std::vector<SerialDeviceInfo> devices = EnumerateSerialDevices();
    if (options.json) {
        nlohmann::json out = nlohmann::json::array();
        for (const SerialDeviceInfo& d : devices) {
            out.push_back({{"path", d.path}, {"name", d.displayName}});
        }
        std::cout << out.dump(2) << "\n";
        return 0;
    }
    if (devices.empty()) {
        std::fprintf(stderr, "No serial devices found. A pty or link can still be given with --port.\n");
    }
    for (const SerialDeviceInfo& d : devices) {
        if (d.displayName != d.path) {
            std::printf("%s\t%s\n", d.path.c_str(), d.displayName.c_str());
        } else {
            std::printf("%s\n", d.path.c_str());
        }
    }
    return 0;
}

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

int RunInfo(const GlobalOptions& options) {
    CSession session(options);
    const Result r = session.Contact();
    if (r != kOk) {
        return ReportFailure(r);
    }
    CModel& model = session.Model();
    const TarnwellDevice kind = model.deviceKind.Get();
    const std::string device = kind == kDeviceNone ? kModelName : DeviceName(kind);
    const int status = model.firmwareStatus.Get();
    const std::uint16_t serial = model.serialNumber.Get();
    const std::string port = model.portName.Get();
    const std::uint32_t speed = model.Port().Speed();
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
            {"port", port},
            {"speed", speed},
        };
        std::cout << out.dump(2) << "\n";
        return 0;
    }
    std::printf("Device:          %s\n", device.c_str());
    std::printf("Firmware status: %d (%s)\n", status, FirmwareStatusText(status));
    std::printf("MCU version:     %s\n", model.FirmwareVersionText(0).c_str());
    std::printf("DSP version:     %s\n", model.FirmwareVersionText(1).c_str());
    std::printf("Option modules:  %s\n", modules.empty() ? "(none reported)" : modules.c_str());
    if (serial == 0xFFFF) {
        std::printf("Serial number:   (not read)\n");
    } else {
        std::printf("Serial number:   %05u\n", serial);
    }
    std::printf("Port:            %s at %u bit/s\n", port.c_str(), speed);
    return 0;
}

int RunSend(const GlobalOptions& options, const std::string& text, std::uint32_t waitMs) {
    CSession session(options);
    const Result r = session.Contact();
    if (r != kOk) {
        return ReportFailure(r);
    }
    CModel& model = session.Model();
    if (model.PurgeReceive() != kOk || !model.SendText(text)) {
        return ReportFailure(GetLastError() != 0 ? GetLastError() : kErrorWriteFault);
    }
    // Gather the answer until the line has been quiet for the wait.
    CPollPump& pump = session.Pump();
    std::uint32_t quietSince = pump.TickCount();
    std::string answer;
    for (;;) {
        session.RunUntil([&] { return false; }, 10);
        const std::string got = session.TakeIdleInput();
        if (!got.empty()) {
            answer += got;
            quietSince = pump.TickCount();
        } else if (pump.TickCount() - quietSince >= waitMs) {
            break;
        }
        if (!model.Port().IsOpen()) {
            break;
        }
    }
    if (options.json) {
        std::cout << nlohmann::json({{"sent", text}, {"answer", PrintableForm(answer)}}).dump(2) << "\n";
    } else {
        std::printf("%s\n", PrintableForm(answer).c_str());
    }
    return model.Port().IsOpen() ? 0 : ReportFailure(GetLastError() != 0 ? GetLastError() : kErrorAccessDenied);
}

}  // namespace

void RegisterContactCommands(CLI::App& app, const GlobalOptions& options, std::vector<Command>& commands) {
    auto* ports = app.add_subcommand("ports", "List the serial devices of this machine")->fallthrough();
    commands.push_back({ports, [&options] { return RunPorts(options); }});

    auto* info =
        app.add_subcommand("info", "Contact the radio and show its identity and firmware versions")->fallthrough();
    commands.push_back({info, [&options] { return RunInfo(options); }});

    auto text = std::make_shared<std::string>();
    auto waitMs = std::make_shared<std::uint32_t>(500);
    auto* send = app.add_subcommand("send", "Send TEXT exactly as given and print the radio's answer")->fallthrough();
    send->add_option("TEXT", *text, "The command text, e.g. \"RVM;\"")->required();
    send->add_option("--wait", *waitMs, "Stop after this many ms without a byte (default 500)")->type_name("MS");
    commands.push_back({send, [&options, text, waitMs] { return RunSend(options, *text, *waitMs); }});
}

}  // namespace rm7::cli
