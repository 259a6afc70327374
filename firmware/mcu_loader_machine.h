#pragma once
// CMcuLoaderStateMachine sends a new program to the radio's main processor (MCU): it reads
// and reconciles the image, finds and identifies the radio, puts it into its bootstrap
// loader with "LDM;", opens the download with "D" and streams the image as 132-byte
// packets, each acknowledged by the loader; a loader left in the middle of a download is
// brought to a packet boundary and loaded without "D". Block 0x800 goes first with a placeholder in
// its first two bytes and once more at the end with its true contents. After the run the
// contact sequence finds the radio again (CLoaderStateHost).
//
// Threads: UI thread only. The owner makes the machine the model's active machine.
#include <filesystem>
#include <string>

#include "firmware/loader_host.h"
#include "link/basic_states.h"
#include "link/find_radio_states.h"

namespace rm7 {

class CMcuLoaderStateMachine;
using CMcuHost = CStateHost<CMcuLoaderStateMachine>;
using CMcuState = CState<CMcuLoaderStateMachine>;

inline constexpr std::uint32_t kMcuLastPacketFlag = 0x20000;

// "LDM;" and a 2000 ms wait for the loader; then the link goes to the loader's 38400 bit/s.
class CLoadEnterBootLoaderState : public CCommandDelayState<CMcuLoaderStateMachine> {
  public:
    CLoadEnterBootLoaderState(CMcuHost& host, CMcuState* next)
        : CCommandDelayState(host, "LoadEnterBootLoader", next, 2000, "LDM;") {}
    void Run() override;
    void OnTimer() override;
};

// "D" opens the download; the loader echoes it within 5000 ms.
class CLoadBeginDownloadState : public CCommandResponseState<CMcuLoaderStateMachine> {
  public:
    CLoadBeginDownloadState(CMcuHost& host, CMcuState* next)
        : CCommandResponseState(host, "LoadBeginDownload", next, kErrNoEchoD, "D", 5000) {}
    std::string Terminators() const override { return "D"; }
    void OnValidResponse() override;
    void OnTimer() override;
};

// A boot loader found at a packet boundary in the middle of a download waits for packets,
// not for "D": the load goes straight on with them.
class CLoadRejoinDownloadState : public CMcuState {
  public:
    CLoadRejoinDownloadState(CMcuHost& host, CMcuState* next) : CState(host, "LoadRejoinDownload", next) {}
    void Run() override;
};

// Writes the host's packet as one 132-byte piece.
class CLoadFirmwareState : public CLoadBlockState<CMcuLoaderStateMachine> {
  public:
    CLoadFirmwareState(CMcuHost& host, const char* name, CMcuState* next, char acknowledgement)
        : CLoadBlockState(host, name, next, acknowledgement, std::string(1, acknowledgement) + "NC", 2000) {}
    void Send() override;
};

// The block loop: every block from 0x800 up, block 0x800 with 0xDE 0xAD in its first bytes.
class CLoadFirmwareInitialState : public CLoadFirmwareState {
  public:
    CLoadFirmwareInitialState(CMcuHost& host, CMcuState* next)
        : CLoadFirmwareState(host, "LoadFirmwareInitial", next, 'A') {}

  protected:
    void OnEnter() override;
    void SendNext() override;
};

// Block 0x800 again with its true bytes (the reconciliation value) and bit 17 set in its
// address, acknowledged with 'B'.
class CLoadFirmwareLastState : public CLoadFirmwareState {
  public:
    CLoadFirmwareLastState(CMcuHost& host, CMcuState* next) : CLoadFirmwareState(host, "LoadFirmwareLast", next, 'B') {}

  protected:
    void OnEnter() override;
    void SendNext() override;
};

class CLoadWaitResetState : public CDelayState<CMcuLoaderStateMachine> {
  public:
    CLoadWaitResetState(CMcuHost& host, CMcuState* next) : CDelayState(host, "LoadWaitReset", next, 8000) {}
    void Init() override;
};

class CMcuLoaderStateMachine : public CFirmwareLoaderHost<CMcuLoaderStateMachine> {
  public:
    static constexpr std::uint32_t kTimerId = kTimerLoader;

    // The file path is the one the firmware page chose.
    CMcuLoaderStateMachine(CRadioSession& session, const std::filesystem::path& file);

    // Packet of the block at address: 128 image bytes, the address in three bytes (bit 17
    // set for the last packet), and a checksum that makes all 132 bytes sum to 0.
    void BuildPacket(std::uint32_t address, bool last);

    Result LoadImage();
    // The loader takes packets now: the radio runs no firmware until the load completes.
    void OnDownloadOpen();
    CMcuState& FirstState() { return m_findSpeed; }

    CFindSpeedState<CMcuLoaderStateMachine> m_findSpeed;
    CIdentifyState<CMcuLoaderStateMachine> m_identify;
    CGetOptionModuleState<CMcuLoaderStateMachine> m_getOptionModule;
    CVerifyExpectedDeviceState<CMcuLoaderStateMachine> m_verifyExpectedDevice;
    CLoadEnterBootLoaderState m_enterBootLoader;
    CLoadBeginDownloadState m_beginDownload;
    CBootLoaderSyncState<CMcuLoaderStateMachine> m_bootLoaderSync;
    CLoadRejoinDownloadState m_rejoinDownload;
    CLoadFirmwareInitialState m_loadInitial;
    CLoadResyncState<CMcuLoaderStateMachine> m_resyncInitial;
    CLoadFirmwareLastState m_loadLast;
    CLoadResyncState<CMcuLoaderStateMachine> m_resyncLast;
    CLoadWaitResetState m_waitReset;
};

}  // namespace rm7
