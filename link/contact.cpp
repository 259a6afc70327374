#include "link/contact.h"

#include <cctype>

#include "link/port_name.h"
#include "platform/error_text.h"
#include "platform/text.h"
#include "platform/tty.h"
#include "platform/version.h"

namespace rm7 {

void COpenPortState::Run() {
    CModel& model = Model();
    if (model.IsPortOpen()) {
        Next();
        return;
    }
    const std::string name = model.portName.Get();
    if (name.empty()) {
        Done(kErrPortNameMissing);
        return;
    }
    m_host.StatusText("Opening serial port %s", name.c_str());
    const Result r = Session().OpenSerialPort(name);
    if (r == kOk) {
        m_host.StatusText("Serial port %s is open", name.c_str());
        Session().SetSerialSpeed(38400);
    } else if (r == kErrorAccessDenied) {
        m_host.StatusText(
            "Serial port \"%s\" access denied; may be in use by another program or USB cable may have been removed.",
            name.c_str());
        // The user may not use the device (a busy one has its own code): say what to do.
        const std::string hint = AccessDeniedHint(name);
        if (!hint.empty()) {
            m_host.StatusText("%s", hint.c_str());
        }
    } else if (r == kErrorBusy) {
        m_host.StatusText("Serial port \"%s\" is busy: %s", name.c_str(), DeviceHolderText(name).c_str());
    } else {
        m_host.StatusText("Unable to open serial port \"%s\". Error 0x%08X: %s", name.c_str(), r,
                          PortErrorText(name, r).c_str());
    }
    Done(r);
}

void CFindSpeedLoopState::OnFullCircle() {
    CModel& model = Model();
    m_startSpeed = StartSpeed(static_cast<std::uint32_t>(model.fixedSerialSpeed.Get()));
    Session().SetSerialSpeed(m_startSpeed);
    AttemptText();
    m_delay = std::min<std::uint32_t>(m_delay * 3 / 2, 5000);
    Send();
}

int CGetVersionState::ParseVersion(const std::string& answer, const std::string& prefix) {
    if (!StartsWithNoCase(answer, prefix) || answer.size() < prefix.size() + 6) {
        return -1;
    }
    const char* p = answer.c_str() + prefix.size();
    auto digit = [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; };
    if (!digit(p[0]) || !digit(p[1]) || p[2] != '.' || !digit(p[3]) || !digit(p[4]) || p[5] != ';') {
        return -1;
    }
    return (p[0] - '0') * 1000 + (p[1] - '0') * 100 + (p[3] - '0') * 10 + (p[4] - '0');
}

AnswerCheck CGetVersionState::CheckAnswer(const std::string& answer) {
    m_version = ParseVersion(answer, m_prefix);
    return ValidIf(m_version >= 0);
}

void CGetVersionState::OnValidResponse() {
    Model().firmwareVersions.Set(m_index, static_cast<std::uint16_t>(m_version));
    OnSuccess();
}

void CGetMcuVersionState::OnValidResponse() {
    m_host.SetFirmwareStatus(kFirmwareRunning);
    CGetVersionState::OnValidResponse();
}

void CReadR5SerialNumberState::OnSuccess() {
    Model().serialNumber.Set(static_cast<std::uint16_t>(m_bytes[0] * 256 + m_bytes[1]));
    Next();
}

CContactStateMachine::CContactStateMachine(CRadioSession& session)
    : CStateHost(session, kTimerId),
      m_findSpeed(*this, &m_identify),
      m_openPort(*this, &m_findSpeedLoop),
      m_findSpeedLoop(*this, &m_identify),
      m_identify(*this, &m_textTerminalOff),
      m_textTerminalOff(*this, &m_getMcuVersion),
      m_getMcuVersion(*this, &m_getOptionModule),
      m_getOptionModule(*this, &m_verifyExpectedDevice),
      m_verifyExpectedDevice(*this, &m_readSerialNumber),
      m_readSerialNumber(*this, &m_getDspVersion),
      m_getDspVersion(*this, &m_getTransmit),
      m_getTransmit(*this, &FinalState()),
      m_bootLoaderSync(*this, &FinalState()) {
    m_findSpeed.SetBootLoaderSync(&m_bootLoaderSync);
    m_findSpeedLoop.SetBootLoaderSync(&m_bootLoaderSync);
}

void CGetTransmitState::Init() {
    CCommandResponseRetryState::Init();
    Model().transmitState = CModel::TransmitState::kUnknown;
}

AnswerCheck CGetTransmitState::CheckAnswer(const std::string& answer) {
    return ValidIf(EqualsNoCase(answer, "TQ0;") || EqualsNoCase(answer, "TQ1;"));
}

void CGetTransmitState::OnValidResponse() {
    const bool on = EqualsNoCase(m_host.Response(), "TQ1;");
    // Told by each front end in its own way: info and doctor's lines, the window's question.
    Model().transmitState = on ? CModel::TransmitState::kTransmitting : CModel::TransmitState::kReceiving;
    Next();
}

void CGetTransmitState::OnTimer() {
    if (++m_sends >= kSends) {
        Next();  // unknown: the radio was found all the same
        return;
    }
    Send();
}

void CContactStateMachine::OnComplete() {
    const Result r = GetResult();
    CModel& model = Model();
    if ((r & 0x80000000u) != 0) {
        model.StatusText(StrFormat("Contact failed 0x%x %s\n", r, ErrorText(r).c_str()));
        if (r == kErrUnexpectedDevice) {
            model.MessageBox("Unexpected Device",
                             StrFormat("Connected device does not appear to be an Tarnwell %s", kModelName),
                             MessageIcon::Error);
        }
        // A refused device keeps no firmware status: an R5 names itself as a boot loader would.
        m_firmwareStatus = kFirmwareNone;
    }
    model.firmwareStatus.Set(m_firmwareStatus);
    model.portEvent.NotifyAll(static_cast<WParam>(r), 0);
}

}  // namespace rm7
