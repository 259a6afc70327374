#include "firmware/mcu_loader_machine.h"

#include <cstring>

#include "firmware/file_version.h"
#include "model/firmware_version.h"
#include "platform/version.h"

namespace rm7 {

std::string HexText(const std::uint8_t* bytes, std::size_t length) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(length * 2);
    for (std::size_t i = 0; i < length; ++i) {
        text.push_back(kDigits[bytes[i] >> 4]);
        text.push_back(kDigits[bytes[i] & 0x0F]);
    }
    return text;
}

void CLoadEnterBootLoaderState::Run() {
    // What Identify just heard decides, not what the model knew before: a radio found in
    // its boot loader went straight to "D" already, and a stale status must not skip "LDM;".
    if (m_host.FirmwareStatus() == kFirmwareBootLoader) {
        Next();
        return;
    }
    Send();
}

void CLoadEnterBootLoaderState::OnTimer() {
    Session().SetSerialSpeed(38400);
    Next();
}

void CLoadBeginDownloadState::OnValidResponse() {
    Host().OnDownloadOpen();
    OnSuccess();
}

void CLoadRejoinDownloadState::Run() {
    Host().OnDownloadOpen();
    Next();
}

void CLoadBeginDownloadState::OnTimer() {
    Host().LogText("%s Bootstrap Loader did not echo \"%s\"\r\nRemove power and retry firmware load", kModelName, "D");
    Model().Reset();
    Fail(m_error);
}

void CLoadFirmwareState::Send() {
    CMcuLoaderStateMachine& host = Host();
    if (host.HasFailed()) {
        Finish();
        return;
    }
    host.SetTerminators(m_terminators);
    if (host.Tracing()) {
        host.TraceText("%s Send %u bytes 0x%s", m_name, kMcuPacketSize, HexText(host.Packet(), kMcuPacketSize).c_str());
    }
    host.Transmit(host.Packet(), kMcuPacketSize, m_delay);
}

void CLoadFirmwareInitialState::OnEnter() {
    CMcuLoaderStateMachine& host = Host();
    host.LogText("Sending %s firmware file %s", host.PartName().c_str(), host.File().string().c_str());
}

void CLoadFirmwareInitialState::SendNext() {
    CMcuLoaderStateMachine& host = Host();
    std::uint32_t& address = host.LoadAddress();
    if (address >= kMcuHighAddress) {
        Next();
        return;
    }
    host.BuildPacket(address, false);
    host.Progress(kMcuBlockSize);
    address += kMcuBlockSize;
    Send();
}

void CLoadFirmwareLastState::OnEnter() {
    CMcuLoaderStateMachine& host = Host();
    // The 'B' that ends this state must be this packet's own, not a byte left over from
    // the initial pass.
    host.Response().clear();
    host.BuildPacket(kMcuLowAddress, true);
    host.Progress(kMcuBlockSize);
}

void CLoadFirmwareLastState::SendNext() {
    if (m_host.Response().find('B') != std::string::npos) {
        Next();
        return;
    }
    Send();
}

void CLoadWaitResetState::Init() {
    Host().LogText("Waiting %u seconds for reset", 8u);
    Host().ShowWait("Waiting for the radio to restart", 8u);
}

CMcuLoaderStateMachine::CMcuLoaderStateMachine(CRadioSession& session, const std::filesystem::path& file)
    : CFirmwareLoaderHost(session, kMcuPartName, file),
      m_findSpeed(*this, &m_identify),
      m_identify(*this, &m_getOptionModule),
      m_getOptionModule(*this, &m_verifyExpectedDevice),
      m_verifyExpectedDevice(*this, &m_enterBootLoader),
      m_enterBootLoader(*this, &m_beginDownload),
      m_beginDownload(*this, &m_loadInitial),
      m_bootLoaderSync(*this, &m_rejoinDownload),
      m_rejoinDownload(*this, &m_loadInitial),
      m_loadInitial(*this, &m_loadLast),
      m_resyncInitial(*this, "ResyncInitial", m_loadInitial, {132, "N", false}),
      m_loadLast(*this, &m_waitReset),
      m_resyncLast(*this, "ResyncLast", m_loadLast, {132, "N", false}),
      m_waitReset(*this, &FinalState()) {
    // A radio already waiting in its boot loader gets neither "OM;" nor "LDM;".
    m_identify.SetAlternate(&m_beginDownload);
    m_findSpeed.SetBootLoaderSync(&m_bootLoaderSync);
    m_loadInitial.SetResync(&m_resyncInitial);
    m_loadLast.SetResync(&m_resyncLast);
}

Result CMcuLoaderStateMachine::LoadImage() {
    Result r = ReadImage(FirmwareKind::Mcu);
    if (r == kOk) {
        // The values mean something to a developer of the firmware, not to the radio's owner.
        r = ReconcileChecksum(
            m_image, [this](const std::string& line) { Log(line); },
            [this](const std::string& line) {
                if (VerboseLogging()) {
                    Log(line);
                }
            });
    }
    return r;
}

void CMcuLoaderStateMachine::OnDownloadOpen() {
    CModel& model = Model();
    SetFirmwareStatus(kFirmwareBootLoader);
    model.firmwareVersions.Set(0, kVersionLoading);
    model.firmwareStatus.Set(kFirmwareBootLoader);
}

void CMcuLoaderStateMachine::BuildPacket(std::uint32_t address, bool last) {
    std::uint8_t* packet = Packet();
    std::memcpy(packet, m_image.Bytes().data() + (address - m_image.LowAddress()), kMcuBlockSize);
    if (address == kMcuLowAddress && !last) {
        // The reconciliation value goes in only with the last packet, so that a load cut
        // short never leaves an image that sums to zero.
        packet[0] = 0xDE;
        packet[1] = 0xAD;
    }
    const std::uint32_t sent = last ? (address | kMcuLastPacketFlag) : address;
    packet[128] = static_cast<std::uint8_t>(sent);
    packet[129] = static_cast<std::uint8_t>(sent >> 8);
    packet[130] = static_cast<std::uint8_t>(sent >> 16);
    std::uint8_t sum = 0;
    for (std::uint32_t i = 0; i < kMcuPacketSize - 1; ++i) {
        sum = static_cast<std::uint8_t>(sum + packet[i]);
    }
    packet[131] = static_cast<std::uint8_t>(-sum);
}

}  // namespace rm7
