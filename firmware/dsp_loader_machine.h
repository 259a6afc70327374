#pragma once
// CDspLoaderStateMachine sends a new program to the radio's signal processor (DSP) through
// the connection the contact already made: "LDF2;" erases the DSP's flash, then the image
// goes out in chunks of at most 64 bytes, each announced by "LDF2" with its length and
// checksum and followed at once by its raw bytes, and "LDD20000;" restarts the radio.
// After the run the contact sequence finds the radio again (CLoaderStateHost).
//
// Threads: UI thread only. The owner makes the machine the model's active machine.
#include <filesystem>
#include <string>

#include "firmware/loader_host.h"
#include "link/basic_states.h"
#include "link/find_radio_states.h"

namespace rm7 {

class CDspLoaderStateMachine;
using CDspHost = CStateHost<CDspLoaderStateMachine>;
using CDspState = CState<CDspLoaderStateMachine>;

// The name traces have always shown for the state that erases the DSP's flash.
inline constexpr const char* kEraseDspFlashTraceName = "CEnterDspLoad";

// "LDF2;" and 10 s for the flash to erase; no answer is awaited.
class CEraseDspFlashState : public CCommandDelayState<CDspLoaderStateMachine> {
  public:
    CEraseDspFlashState(CDspHost& host, CDspState* next)
        : CCommandDelayState(host, kEraseDspFlashTraceName, next, 10000, "LDF2;") {}
    void Run() override;
};

class CLoadDspFirmwareState : public CLoadBlockState<CDspLoaderStateMachine> {
  public:
    CLoadDspFirmwareState(CDspHost& host, CDspState* next)
        : CLoadBlockState(host, "LoadDspFirmware", next, 'A', "AN", 4000) {}
    void Send() override;

  protected:
    void OnEnter() override;
    void SendNext() override;
};

class CLoadDspResyncState : public CLoadResyncState<CDspLoaderStateMachine> {
  public:
    CLoadDspResyncState(CDspHost& host, CLoadDspFirmwareState& load)
        : CLoadResyncState(host, "Resync", load, {73, "AN", true}) {}

  protected:
    void OnBoundary() override;
};

class CDspLoaderStateMachine : public CFirmwareLoaderHost<CDspLoaderStateMachine> {
  public:
    static constexpr std::uint32_t kTimerId = kTimerLoader;
    static constexpr std::uint32_t kChunkMax = 64;

    // The file path is the one the firmware page chose.
    CDspLoaderStateMachine(CRadioSession& session, const std::filesystem::path& file);

    // The chunk at the load address and its announcement "LDF2%02X%02X;" (length, sum of
    // the bytes modulo 256).
    void BuildChunk(std::uint32_t address);
    const std::uint8_t* Chunk() const { return m_chunk; }
    std::uint32_t ChunkLength() const { return m_chunkLength; }
    const std::string& Announcement() const { return m_announcement; }

    Result LoadImage();
    CDspState& FirstState() { return m_getOptionModule; }

    CGetOptionModuleState<CDspLoaderStateMachine> m_getOptionModule;
    CVerifyExpectedDeviceState<CDspLoaderStateMachine> m_verifyExpectedDevice;
    CEraseDspFlashState m_eraseDspFlash;
    CLoadDspFirmwareState m_loadDspFirmware;
    CLoadDspResyncState m_resync;
    CResetMcuState<CDspLoaderStateMachine> m_resetMcu;

  private:
    std::uint32_t m_chunkLength = 0;
    std::uint8_t m_chunk[kChunkMax] = {};
    std::string m_announcement;
};

}  // namespace rm7
