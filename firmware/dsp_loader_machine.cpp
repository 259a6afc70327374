#include "firmware/dsp_loader_machine.h"

#include <algorithm>
#include <cstring>

#include "firmware/file_version.h"
#include "model/firmware_version.h"

namespace rm7 {

void CEraseDspFlashState::Run() {
    Model().firmwareVersions.Set(1, kVersionLoading);
    Send();
    if (!m_host.HasFailed()) {
        Host().LogText("Waiting %u seconds for flash memory erase", 10u);
        Host().ShowWait("Waiting for the flash memory to erase", 10u);
    }
}

void CLoadDspFirmwareState::OnEnter() {
    CDspLoaderStateMachine& host = Host();
    host.LogText("Sending %s firmware file %s", host.PartName().c_str(), host.File().string().c_str());
}

void CLoadDspFirmwareState::SendNext() {
    CDspLoaderStateMachine& host = Host();
    std::uint32_t& address = host.LoadAddress();
    if (address >= host.Image().HighAddress()) {
        Next();
        return;
    }
    host.BuildChunk(address);
    host.Progress(host.ChunkLength());
    address += host.ChunkLength();
    Send();
}

void CLoadDspFirmwareState::Send() {
    CDspLoaderStateMachine& host = Host();
    if (host.HasFailed()) {
        Finish();
        return;
    }
    host.SetTerminators(m_terminators);
    m_command = host.Announcement();
    if (host.Tracing()) {
        host.TraceText("%s send %s and %u 0x%s", m_name, m_command.c_str(), host.ChunkLength(),
                       HexText(host.Chunk(), host.ChunkLength()).c_str());
    }
    // The two parts go out back to back: the radio takes the chunk right after its announcement.
    host.Transmit(std::vector<std::string>{m_command, std::string(reinterpret_cast<const char*>(host.Chunk()),
                                                                  host.ChunkLength())},
                  m_delay);
}

void CLoadDspResyncState::OnBoundary() {
    if (m_host.Response().back() == 'A') {
        // The fill bytes completed a chunk the radio then took: its flash now holds ';'
        // where the chunk's lost bytes belonged, and a chunk carries no address by which
        // sending it again could put that right. Only a new load can.
        CDspLoaderStateMachine& host = Host();
        host.LogText("Send %s firmware failed at load address x%04X", host.PartName().c_str(), host.LoadAddress());
        host.AddRetries(m_load.RetryCount());
        Fail(kErrAckWhileSynchronizing);
        return;
    }
    m_load.Resume();
}

CDspLoaderStateMachine::CDspLoaderStateMachine(CRadioSession& session, const std::filesystem::path& file)
    : CFirmwareLoaderHost(session, kDspPartName, file),
      m_getOptionModule(*this, &m_verifyExpectedDevice),
      m_verifyExpectedDevice(*this, &m_eraseDspFlash),
      m_eraseDspFlash(*this, &m_loadDspFirmware),
      m_loadDspFirmware(*this, &m_resetMcu),
      m_resync(*this, m_loadDspFirmware),
      m_resetMcu(*this, &FinalState()) {
    m_loadDspFirmware.SetResync(&m_resync);
}

Result CDspLoaderStateMachine::LoadImage() {
    return ReadImage(FirmwareKind::Dsp);
}

void CDspLoaderStateMachine::BuildChunk(std::uint32_t address) {
    m_chunkLength = std::min(kChunkMax, m_image.HighAddress() - address);
    std::memcpy(m_chunk, m_image.Bytes().data() + (address - m_image.LowAddress()), m_chunkLength);
    std::uint8_t sum = 0;
    for (std::uint32_t i = 0; i < m_chunkLength; ++i) {
        sum = static_cast<std::uint8_t>(sum + m_chunk[i]);
    }
    m_announcement = StrFormat("LDF2%02X%02X;", m_chunkLength, sum);
}

}  // namespace rm7
