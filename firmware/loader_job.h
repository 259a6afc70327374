#pragma once
// One firmware load as the loader dialog and `rm7util firmware send` run it, and every
// decision either takes: the texts, the retry summary, the version check after the load,
// when the window may close and with which result. The views only show what this says.
//
// Threads: UI thread only.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "firmware/dsp_loader.h"
#include "firmware/mcu_loader.h"
#include "link/job_run.h"
#include "platform/job_texts.h"
#include "platform/transfer_meter.h"

namespace rm7 {

enum class LoaderPart { Mcu, Dsp };

// The dialog's results: the firmware page goes on only after kLoaderDialogLoaded.
inline constexpr int kLoaderDialogLoaded = 1;
inline constexpr int kLoaderDialogFailed = 2;
inline constexpr int kLoaderDialogCancelled = 3;
inline constexpr const char* kLoaderClickClose = kClickCloseText;
inline constexpr const char* kLoaderCancelText = "Cancel";
inline constexpr const char* kLoaderCloseText = "Close";
// A load cut off by an unplugged cable is taken up by the next one: the MCU loader finds the
// radio's boot loader again, even in the middle of its download. A DSP load cut off leaves the
// radio's own firmware waiting for the rest, which only a restart ends; it then starts over.
inline constexpr const char* kMcuReplugText =
    "Plug the cable back in and send the firmware again (Send New Firmware): the radio's boot loader is found "
    "again.";
inline constexpr const char* kDspReplugText =
    "Plug the cable back in, turn the radio off and on, and send the firmware again (Send New Firmware): the DSP "
    "load starts over.";
// The same advice when the radio's port on the network dropped the connection.
inline constexpr const char* kMcuReconnectText =
    "When the radio's port on the network can be reached again, send the firmware again (Send New Firmware): the "
    "radio's boot loader waits for the next send.";
inline constexpr const char* kDspReconnectText =
    "When the radio's port on the network can be reached again, turn the radio off and on and send the firmware "
    "again (Send New Firmware): the DSP load starts over.";

const char* LoaderPartName(LoaderPart part);
// The stop question: it asks about the load, and says what the radio does once it is stopped.
std::string LoaderStopQuestion(LoaderPart part);
// What the radio does after a load that was stopped.
const char* LoaderStoppedState(LoaderPart part);
// "Sending RM7 Firmware"
std::string LoaderTitle();
// The log's first three lines: the program's version, the system's, the radio's MCU version.
std::vector<std::string> LoaderInitialLines(const CModel& model);

// The radio's version after the load against the file name's. Appends the log lines and
// returns 0 or 0xE2000046.
Result VerifyFirmwareVersion(LoaderPart part, std::uint16_t radioVersion, const std::filesystem::path& file,
                             std::vector<JobLine>& lines);

struct LoaderOutcome {
    Result result = kOk;         // after the version check
    std::vector<JobLine> lines;  // to append to the log, in order
    bool closeNow = false;       // a good load without Trace closes by itself
    int dialogResult = kLoaderDialogFailed;
};

struct LoaderFinish {
    LoaderPart part = LoaderPart::Mcu;
    Result result = kOk;  // the code of the finish notice
    std::uint32_t totalRetries = 0;
    std::uint32_t highestRetries = 0;
    bool trace = false;
    std::uint16_t radioVersion = 0;  // what the radio reports now for this part
    std::filesystem::path file;
};

// What the finish notice leads to: retry summary, version check, the closing lines.
LoaderOutcome FinishLoad(const LoaderFinish& finish);

struct CloseDecision {
    bool ask = false;  // ask LoaderStopQuestion() first; Yes stops the load, which then says so
    int result = kLoaderDialogFailed;
};

// running: the load has started and its finish notice has not come yet. That includes the
// contact that runs after the machine itself is idle: until the version is checked the
// load has not succeeded. A stopped load closes as cancelled, a failed one as failed.
CloseDecision DecideClose(bool running, Result stored);

class CLoaderJob final : private IMessageTarget {
  public:
    CLoaderJob(CRadioSession& session, LoaderPart part, std::filesystem::path file);
    ~CLoaderJob();
    CLoaderJob(const CLoaderJob&) = delete;
    CLoaderJob& operator=(const CLoaderJob&) = delete;

    // Where a log line comes from. The machine's own lines (not its trace lines) also go
    // to the main window's status bar; the outcome's lines are the job's, at the finish
    // (onFinished has them with their kinds).
    enum class LogSource { Machine, Trace, Outcome };
    std::function<void(const std::string& line, LogSource source)> onLog;
    std::function<void(const LoaderOutcome&)> onFinished;

    // Makes the machine the model's active machine and starts it. A file the loader
    // refuses, or another machine still talking to the radio (0xE2000052), finishes the
    // job at once (onFinished runs before Start returns).
    bool Start(IProgressBar* bar);
    // Stops listening and gives up the model's active machine (the view is going away).
    void Detach();

    bool Running() const { return m_started && !m_finished; }
    bool Finished() const { return m_finished; }
    Result GetResult() const { return m_result; }
    LoaderPart Part() const { return m_part; }
    const std::filesystem::path& File() const { return m_file; }
    IStateMachine& Machine();
    bool MachineIdle() const;
    std::uint32_t TotalRetries() const;
    std::uint32_t HighestRetries() const;

    CloseDecision OnCloseRequest() const { return DecideClose(Running(), m_result); }
    // Stops a load still sending at its next packet or chunk; false once every byte is sent
    // (the radio is being found again).
    bool Cancel();
    // What the load found the radio running when it started: a boot loader is left waiting
    // by a load that stops.
    FirmwareStatusEnum FirmwareStatusSeen() const;

  private:
    LResult OnMessage(std::uint32_t code, WParam wParam, LParam lParam) override;
    void Finish(Result result);

    CRadioSession& m_session;
    CModel& m_model;
    LoaderPart m_part;
    std::filesystem::path m_file;
    std::unique_ptr<CMcuLoaderStateMachine> m_mcu;
    std::unique_ptr<CDspLoaderStateMachine> m_dsp;
    std::unique_ptr<CJobRun> m_run;
    bool m_started = false;
    bool m_finished = false;
    Result m_result = kOk;
};

}  // namespace rm7
