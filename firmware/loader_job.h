#pragma once
// One firmware load as the loader dialog and `rm7util firmware send` run it, through the job
// shell (link/job_shell.h): the backup, the load, the contact that finds the radio again, and
// every decision either front end takes: the texts, the retry summary, the version check after
// the load, and the outcome. A load that stops or fails has the radio looked for by a contact,
// so that its outcome says what the radio does now (never assumed) and what to do next.
//
// Threads: UI thread only.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "config/job_backup.h"
#include "firmware/dsp_loader_machine.h"
#include "firmware/mcu_loader_machine.h"
#include "link/job_shell.h"
#include "platform/job_texts.h"
#include "platform/transfer_meter.h"

namespace rm7 {

enum class LoaderPart { Mcu, Dsp };

// The dialog's results: the firmware page goes on only after kLoaderDialogLoaded.
inline constexpr int kLoaderDialogLoaded = 1;
inline constexpr int kLoaderDialogFailed = 2;
inline constexpr int kLoaderDialogCancelled = 3;
inline constexpr const char* kLoaderCancelText = "Cancel";
// The desktop program's way to send again.
inline constexpr const char* kSendAgainText = "send the firmware again (Send New Firmware)";

const char* LoaderPartName(LoaderPart part);
// The stop question: it asks about the load, and says what the radio does once it is stopped.
std::string LoaderStopQuestion(LoaderPart part);
// What the radio does after a load that was stopped.
const char* LoaderStoppedState(LoaderPart part);
// "Sending RM7 Firmware"
std::string LoaderTitle();
// The log's first lines: the program's and the system's versions (under Verbose Logging or
// Trace), the radio's MCU version.
std::vector<std::string> LoaderInitialLines(const CModel& model);

// The radio's version after the load against the file name's. Appends the log lines and
// returns 0 or 0xE2000046.
Result VerifyFirmwareVersion(LoaderPart part, std::uint16_t radioVersion, const std::filesystem::path& file,
                             std::vector<std::string>& lines);

struct LoaderFinish {
    LoaderPart part = LoaderPart::Mcu;
    Result result = kOk;  // the code of the finish notice
    std::uint32_t totalRetries = 0;
    std::uint32_t highestRetries = 0;
    std::uint16_t radioVersion = 0;  // what the radio reports now for this part
    std::filesystem::path file;
};

struct LoaderResult {
    Result result = kOk;             // after the version check
    std::vector<std::string> lines;  // for the log, in order: retries, the version check
};

// What the finish notice leads to: retry summary and version check.
LoaderResult FinishLoad(const LoaderFinish& finish);

// What the radio was found doing after a load that stopped or failed, and what to do next.
struct LoaderRadio {
    RadioState state = RadioState::kUnknown;
    std::string text;  // the outcome's radio line; empty: RadioStateText(state)
    std::string next;
};
struct LoaderFound {
    LoaderPart part = LoaderPart::Mcu;
    Result result = kOk;                        // the load's
    std::optional<Result> found;                // the contact's after it; none: nobody looked
    FirmwareStatusEnum status = kFirmwareNone;  // what the contact found running
    std::uint16_t mcuVersion = 0;
    std::uint16_t fileVersion = 0;
    std::string sendAgain = kSendAgainText;  // how the user sends again: "run `...` again"
};
LoaderRadio DescribeRadio(const LoaderFound& found);

struct LoaderJobOptions {
    std::string name = "firmware send";        // rm7util's name for the job
    std::optional<AutoBackupSettings> backup;  // none: no backup before this load
    std::string sendAgain = kSendAgainText;
    // How long the contact after a stop or a failure looks for the radio.
    std::uint32_t findRadioMs = CJobShell::kFindRadioMs;
};

class CLoaderJob final : private IMessageTarget {
  public:
    CLoaderJob(CRadioSession& session, IJobView& view, LoaderPart part, std::filesystem::path file,
               LoaderJobOptions options = {});
    ~CLoaderJob();
    CLoaderJob(const CLoaderJob&) = delete;
    CLoaderJob& operator=(const CLoaderJob&) = delete;

    // The backup (when set), then the load. A file the loader refuses, or another machine still
    // talking to the radio (0xE2000052), ends the job at once, before the radio is touched.
    void Start();
    // The Cancel button, the window's close, Ctrl-C: asks, then stops at the next packet or chunk.
    StopRequest Cancel() { return m_shell.RequestStop(); }
    // The view is going away: no more notices, the active machine given up.
    void End() { m_shell.Release(); }

    CJobShell& Shell() { return m_shell; }
    bool Running() const { return m_shell.Running(); }
    bool Finished() const { return m_shell.Outcome().has_value(); }
    // The outcome's code; kOk before the end.
    Result GetResult() const { return m_shell.Outcome() ? m_shell.Outcome()->code : kOk; }
    LoaderPart Part() const { return m_part; }
    const std::filesystem::path& File() const { return m_file; }
    IStateMachine& Machine();
    bool MachineIdle() const;
    std::uint32_t TotalRetries() const;
    std::uint32_t HighestRetries() const;
    // Bytes a second over the load's packets or chunks; 0 before the first.
    double Rate() const;

  private:
    LResult OnMessage(std::uint32_t code, WParam wParam, LParam lParam) override;
    bool StartMachine();
    bool ImageRefused() const;
    JobOutcome Finish(Result r);

    CRadioSession& m_session;
    CModel& m_model;
    LoaderPart m_part;
    std::filesystem::path m_file;
    LoaderJobOptions m_options;
    std::unique_ptr<CMcuLoaderStateMachine> m_mcu;
    std::unique_ptr<CDspLoaderStateMachine> m_dsp;
    std::unique_ptr<CJobBackup> m_backup;
    CJobShell m_shell;
};

}  // namespace rm7
