#pragma once
// TX gain calibration. CTXGCStateMachine keys the radio's TUNE carrier into a dummy load on
// eleven bands, at 4 W and at 6 W, waits for the displayed power to settle, checks the SWR and
// the power, and puts back every setting it changed: each state that changes a setting first
// pushes a restore entry, and "Restore" plays them back in reverse order after each band and at
// the end. Every way a run ends passes through "Restore", which sends "RX;" first whenever the
// radio may be transmitting; a setting that could not be put back (the stack full) is never
// changed. Only a lost port skips it, and then the machine says the radio may still transmit.
//
// Threads: UI thread only, like every machine.
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "link/basic_states.h"
#include "link/eeprom_transfer.h"
#include "model/eeprom_map.h"

namespace rm7 {

class CTXGCStateMachine;
using TXGCHost = CStateHost<CTXGCStateMachine>;
using TXGCState = CState<CTXGCStateMachine>;

inline constexpr const char* kMayStillTransmitText = "The radio may still be transmitting: switch it to receive or off";
inline constexpr const char* kCalibrationFailedText = "5 watt calibration failed";
inline constexpr const char* kCalibrationSucceededText = "5 watt calibration succeeded";
inline constexpr const char* kElapsedTimeFormat = "Elapsed time: %u seconds";

// Calibration frequency of a band in kHz: the table, but 4630 kHz on band 2 when the radio's
// 60 m band edges (two 5-byte values from its EEPROM) hold it.
std::uint32_t CalibrationKHz(std::uint32_t band, const std::uint8_t (&edges)[kBandEdges60mSize]);
// The SWR on a "DS" display answer in tenths (0 when it shows none).
std::uint32_t ParseSwrTenths(const std::string& answer);

// Whole-form checks of the answers the run saves or acts on: the query's letters, the length,
// and a digit wherever the radio puts one ("FA" and eleven digits, "RO", a sign and four...).
// A query without a known form only needs its letters.
bool WellFormedAnswer(const std::string& query, const std::string& answer);
// "DB;" while keyed: a power reading ("  4.0 W") or the out-of-band text.
bool WellFormedPowerAnswer(const std::string& answer);
// "DS;" while keyed: when the display shows an SWR, its figures are digits up to the one
// with the decimal point.
bool WellFormedSwrAnswer(const std::string& answer);

struct RestoreEntry {
    std::string command;
    std::string query;
    Result error = 0;
    std::uint32_t kind = 0;  // 0 a plain setting, 2 a menu parameter
};

// What a person must do by hand for an entry the radio did not confirm: "VFO B was not put
// back: set it to 3.574 MHz by hand".
std::string NotRestoredText(const RestoreEntry& entry);

// What one band came to, for rm7util --json.
struct BandOutcome {
    std::uint32_t kHz = 0;
    std::uint32_t steps = 0;      // power steps that settled on their power: 0, 1 (4 W) or 2 (6 W)
    std::uint32_t swrTenths = 0;  // the last SWR read
    bool skipped = false;         // out of band, or TUNE stopped: not calibrated
    bool tuneStopped = false;     // skipped because the carrier stopped (else out of band)
    std::uint32_t index = 0;
    std::array<std::string, 2> watts{};  // the power each step settled at ("4.0 W"); empty: none
};

// "The 20 m band (14.100 MHz) was not calibrated: its TUNE carrier stopped" (or "...: the radio
// reports it out of band").
std::string NotCalibratedText(const BandOutcome& band);
// "20 m"; "?" past the last band.
const char* BandName(std::uint32_t index);

// A query base: sends its query and takes an answer that begins with the query's letters.
class CTXGCQueryState : public CCommandResponseRetryState<CTXGCStateMachine> {
  public:
    CTXGCQueryState(TXGCHost& host, const char* name, TXGCState* next, Result error, const char* query,
                    std::uint32_t timeout = 500)
        : CCommandResponseRetryState(host, name, next, error, query, timeout) {}
    AnswerCheck CheckAnswer(const std::string& answer) override {
        return ValidIf(WellFormedAnswer(m_baseCommand, answer));
    }
    // A failure keeps the first failure's code.
    void Fail(Result code) override;

  protected:
    // Pushes a restore entry; false (and the run ends) when there is no room for it.
    bool Push(const std::string& command, const std::string& query, std::uint32_t kind = 0);
};

// Saves the setting it reads ("SaveVfoA", "SaveVfoB", "SaveRFPower", "SaveRitOffset", "SaveBandNumber").
class CTXGCSaveState final : public CTXGCQueryState {
  public:
    enum class Rule { Always, UnlessZeroOffset, BandNumber };
    CTXGCSaveState(TXGCHost& host, const char* name, TXGCState* next, Result error, const char* query,
                   Rule rule = Rule::Always)
        : CTXGCQueryState(host, name, next, error, query), m_rule(rule) {}
    AnswerCheck CheckAnswer(const std::string& answer) override;
    void OnValidResponse() override;

  private:
    Rule m_rule;
};

// Brings a setting to its target: an answer equal to the target moves on; another is pushed
// (once: the first is the user's value) and the target is sent with the query again. A radio
// that keeps answering another value ends the run after the retry limit of such answers.
class CTXGCSetTargetState : public CTXGCQueryState {
  public:
    CTXGCSetTargetState(TXGCHost& host, const char* name, TXGCState* next, Result error, const char* query,
                        std::string target)
        : CTXGCQueryState(host, name, next, error, query), m_target(std::move(target)) {}
    void Init() override;
    void OnValidResponse() override;

  protected:
    // The value to bring the setting to, and what to push for another answer.
    virtual std::string Target() const { return m_target; }
    virtual bool Accept(const std::string& answer) { return EqualsNoCase(answer, Target()); }
    virtual bool PushAnswer(const std::string& answer) { return Push(answer, m_baseCommand); }

    std::string m_target;
    bool m_pushed = false;
    std::uint32_t m_corrections = 0;
};

// "SetTunePower" and "SetRMTU5": menu parameters, pushed as kind 2 with their menu command.
class CTXGCSetMenuParameterState final : public CTXGCSetTargetState {
  public:
    CTXGCSetMenuParameterState(TXGCHost& host, const char* name, TXGCState* next, const char* menuCommand, bool tuner)
        : CTXGCSetTargetState(host, name, next, kErrNoResponseMP, "MP;", "MP000;"),
          m_menuCommand(menuCommand),
          m_tuner(tuner) {}
    void Init() override;

  protected:
    std::string Target() const override;
    bool Accept(const std::string& answer) override;
    bool PushAnswer(const std::string& answer) override { return Push(m_menuCommand, answer, 2); }

  private:
    std::string m_menuCommand;
    bool m_tuner;
};

// Opens a menu entry ("SetMenuTunePower", "SetMenuRTU5") or leaves the menu ("ExitMenu...").
class CTXGCMenuState final : public CCommandDelayState<CTXGCStateMachine> {
  public:
    CTXGCMenuState(TXGCHost& host, const char* name, TXGCState* next, const char* command, bool opens)
        : CCommandDelayState(host, name, next, opens ? 250 : 10, command), m_opens(opens) {}
    void Init() override;
    // The menu counts as left only once "MN255;" went out: a run stopped before that leaves
    // the flag for "Restore".
    void Send() override;

  private:
    bool m_opens;
};

class CTXGCVerifyTXTestNormalState final : public CTXGCQueryState {
  public:
    CTXGCVerifyTXTestNormalState(TXGCHost& host, TXGCState* next)
        : CTXGCQueryState(host, "VerifyTXTest", next, kErrNoResponseIC, "IC;") {}
    AnswerCheck CheckAnswer(const std::string& answer) override;
    void OnValidResponse() override;
};

// "SetReceive2", "SetReceive4W", "SetReceive6W": out of transmit, even after a failure.
class CTXGCSetRXState final : public CTXGCQueryState {
  public:
    CTXGCSetRXState(TXGCHost& host, const char* name, TXGCState* next)
        : CTXGCQueryState(host, name, next, kErrNoResponseTQ, "TQ;") {}
    void Init() override;
    void Send() override;
    void OnTimer() override;
    void OnValidResponse() override;

  private:
    bool m_sendRx = false;
};

class CTXGCSetBandNumberState final : public CTXGCQueryState {
  public:
    CTXGCSetBandNumberState(TXGCHost& host, TXGCState* next)
        : CTXGCQueryState(host, "SetBandNumber", next, kErrNoResponseBN, "BN;", 1500) {}
    void Init() override;
    AnswerCheck CheckAnswer(const std::string& answer) override { return ValidIf(WellFormedAnswer("BN;", answer)); }
};

// "SetVfoA", "SetVfoB": the band's calibration frequency.
class CTXGCSetVfoState final : public CTXGCQueryState {
  public:
    CTXGCSetVfoState(TXGCHost& host, const char* name, TXGCState* next, bool vfoA)
        : CTXGCQueryState(host, name, next, vfoA ? kErrNoResponseFA : kErrNoResponseFB, vfoA ? "FA;" : "FB;", 1500),
          m_vfoA(vfoA) {}
    void Init() override;
    AnswerCheck CheckAnswer(const std::string& answer) override { return ValidIf(EqualsNoCase(answer, m_set)); }

  private:
    bool m_vfoA;
    std::string m_set;
};

class CTXGCSetRFPowerState final : public CTXGCQueryState {
  public:
    CTXGCSetRFPowerState(TXGCHost& host, TXGCState* next, std::uint8_t level)
        : CTXGCQueryState(host, "SetRFPower", next, kErrNoResponsePC, "PC;"), m_level(level) {}
    void Init() override;
    AnswerCheck CheckAnswer(const std::string& answer) override { return ValidIf(EqualsNoCase(answer, m_set)); }

  private:
    std::uint8_t m_level;
    std::string m_set;
};

class CTXGCStartAtuTuneState final : public CTXGCQueryState {
  public:
    CTXGCStartAtuTuneState(TXGCHost& host, TXGCState* next) : CTXGCQueryState(host, "StartAtuTune", next, 0, "TQ;") {}
    void Run() override;
    void OnTimer() override;
    AnswerCheck CheckAnswer(const std::string& answer) override;
    void OnValidResponse() override;
};

class CTXGCStartTuneState final : public CTXGCQueryState {
  public:
    CTXGCStartTuneState(TXGCHost& host, TXGCState* next)
        : CTXGCQueryState(host, "StartTune", next, kErrNoResponseTQ, "TQ;") {}
    void Init() override;
    void Run() override;
    void OnTimer() override;
    void OnValidResponse() override;

  private:
    void Key();
};

class CTXGCGetTXState final : public CTXGCQueryState {
  public:
    CTXGCGetTXState(TXGCHost& host, TXGCState* next) : CTXGCQueryState(host, "GetTX", next, kErrNoResponseTQ, "TQ;") {}
    void OnValidResponse() override;
};

class CTXGCReadRFPowerState final : public CTXGCQueryState {
  public:
    CTXGCReadRFPowerState(TXGCHost& host, TXGCState* next)
        : CTXGCQueryState(host, "ReadRFPower", next, kErrNoResponseDB, "DB;") {}
    AnswerCheck CheckAnswer(const std::string& answer) override { return ValidIf(WellFormedPowerAnswer(answer)); }
    void OnValidResponse() override;
    // Leaves the band through "SetReceive6W", the carrier still to be stopped.
    void Fail(Result code) override;
};

class CTXGCGetSwrState final : public CTXGCQueryState {
  public:
    CTXGCGetSwrState(TXGCHost& host, TXGCState* next)
        : CTXGCQueryState(host, "TestSwr", next, kErrNoResponseDS, "DS;") {}
    AnswerCheck CheckAnswer(const std::string& answer) override { return ValidIf(WellFormedSwrAnswer(answer)); }
    void OnValidResponse() override;
    // Moves on to the convergence test and the receive state after it.
    void Fail(Result code) override;
};

class CTXGCTestConvergenceState final : public TXGCState {
  public:
    CTXGCTestConvergenceState(TXGCHost& host, TXGCState* next, TXGCState* again)
        : TXGCState(host, "TestConvergence", next), m_again(again) {}
    void Run() override;

  private:
    TXGCState* m_again;
};

class CTXGCLoopInitState final : public CLoopInitState<CTXGCStateMachine> {
  public:
    using CLoopInitState::CLoopInitState;
    void Run() override;
};

class CTXGCRestoreState final : public CCommandResponseState<CTXGCStateMachine> {
  public:
    // Read-backs of one menu parameter before its entry is left behind.
    static constexpr std::uint32_t kReadBackLimit = 8;

    explicit CTXGCRestoreState(TXGCHost& host) : CCommandResponseState(host, "Restore", nullptr, 0, "", 500) {}
    void Init() override;
    void Run() override;
    AnswerCheck CheckAnswer(const std::string& answer) override;
    void OnResponse() override;
    void OnTimer() override;

  private:
    // Prefix: a plain entry's read-back; Equal: a menu parameter's; ReceiveOff: the closing "TQ;".
    enum class Expect { Nothing, Prefix, Equal, ReceiveOff };
    void ContinueEntry();
    void MoveOn();
    void CheckReceive();
    // The radio never said it is in receive within the retry limit: said once, and the run goes on.
    void GiveUpOnReceive();
    bool SendNow(const std::string& text, std::uint32_t waitMs, Expect expect);

    std::uint32_t m_step = 0;
    std::uint32_t m_readBacks = 0;
    std::uint32_t m_sends = 0;
    RestoreEntry m_entry;
    Expect m_expect = Expect::Nothing;
    bool m_accepted = false;
};

class CTXGCStateMachine final : public CStateHost<CTXGCStateMachine> {
  public:
    static constexpr std::uint32_t kTimerId = kTimerTxgc;
    static constexpr std::uint32_t kBands = 11;
    static constexpr std::uint32_t kRestoreDepth = 25;
    static constexpr std::uint32_t kSettleTests = 20;

    explicit CTXGCStateMachine(CRadioSession& session);

    // Starts a run at the given power level; false, with the thread's last error and the
    // running run left alone, when busy.
    bool StartCalibration(std::uint8_t powerLevel = 0);

    // False (nothing pushed, the trace unwritten) when the stack is full.
    bool PushRestoreEntry(const std::string& command, const std::string& query, Result errorCode, std::uint32_t kind);
    bool PopRestoreEntry(RestoreEntry& entry);
    std::uint32_t RestoreDepth() const { return static_cast<std::uint32_t>(m_restore.size()); }
    const std::vector<RestoreEntry>& RestoreStack() const { return m_restore; }

    std::uint32_t& LoopIndex() { return m_bandIndex; }
    std::uint32_t LoopCount() const { return kBands; }
    std::uint32_t BandIndex() const { return m_bandIndex; }
    std::uint32_t CurrentKHz() const { return CalibrationKHz(m_bandIndex, m_edges); }
    std::uint32_t BandKHz(std::uint32_t band) const { return CalibrationKHz(band, m_edges); }

    // Told whenever what a view shows of the run changes: a band begins, a power step begins or
    // settles, the carrier is keyed or stopped, the last restore begins. Called from inside the
    // run's states: the listener only looks, it never drives the machine.
    void SetProgressListener(std::function<void()> listener) { m_onProgress = std::move(listener); }
    void ProgressChanged() {
        if (m_onProgress) {
            m_onProgress();
        }
    }
    void SetTransmitting(bool on) {
        if (transmitting != on) {
            transmitting = on;
            ProgressChanged();
        }
    }
    std::uint32_t AntennaNumber() const { return m_antennaNumber; }
    const std::string& AntennaText() const { return m_antennaText; }

    // Every line the completion page shows, of every run since the machine was made.
    const std::string& SummaryText() const { return m_summary; }
    void AppendSummary(const std::string& line) { m_summary += line + "\n"; }
    // The bands of the last run.
    const std::vector<BandOutcome>& Bands() const { return m_bands; }
    BandOutcome& CurrentBand();
    std::uint32_t ElapsedSeconds() const;
    // The radio may still be transmitting: the port failed while it may have been, or the
    // closing "TQ;" never said receive.
    bool MayStillTransmit() const { return m_mayStillTransmit; }
    void SetMayStillTransmit() { m_mayStillTransmit = true; }
    // An entry the radio did not confirm; the run ends with kErrSettingNotRestored.
    void NoteNotRestored(const RestoreEntry& entry);
    const std::vector<RestoreEntry>& NotRestored() const { return m_notRestored; }

    void OnComplete() override;
    void EndWithFailure(Result r) override;

    // Flags and fields the states share.
    std::uint8_t powerLevel = 0;
    std::uint32_t stepWatts = 0;  // the power step under way: 4 or 6 W; 0 between steps' bands
    Result savedResult = 0;
    bool tunerFlag = false;
    bool menuOpen = false;
    bool transmitting = false;
    bool receiveConfirmed = false;  // the closing "TQ;" was asked this run
    std::string iconData;
    std::uint32_t sampleSlot = 0;
    std::uint32_t unsettledCount = 0;
    std::uint32_t loopMark = 0;
    std::array<std::string, 4> readings;

    CTextTerminalOffState<CTXGCStateMachine> m_textTerminalOff;
    CCommandDelayState<CTXGCStateMachine> m_vfoBDisplay;
    CTXGCSetRXState m_setReceive2;
    CTXGCVerifyTXTestNormalState m_verifyTXTest;
    CTXGCMenuState m_setMenuTunePower;
    CTXGCSetMenuParameterState m_setTunePower;
    CTXGCMenuState m_exitMenuTunePower;
    CReadPicPromState<CTXGCStateMachine> m_get60MeterBandLimit;
    CTXGCSetTargetState m_setR4;
    CTXGCSaveState m_saveVfoAFirst;
    CTXGCSaveState m_saveVfoBFirst;
    CTXGCSaveState m_saveRitOffset;
    CTXGCSetTargetState m_setRitOff;
    CTXGCSetTargetState m_setXitOffFirst;
    CTXGCSaveState m_saveBandNumber;
    CTXGCLoopInitState m_loopInit;
    CLoopTestState<CTXGCStateMachine> m_loopTest;
    CTXGCSetBandNumberState m_setBandNumber;
    CTXGCSaveState m_saveVfoA;
    CTXGCSetVfoState m_setVfoA;
    CTXGCSaveState m_saveVfoB;
    CTXGCSetVfoState m_setVfoB;
    CTXGCSetTargetState m_setXitOff;
    CTXGCSetTargetState m_setAntenna;
    CTXGCMenuState m_setMenuRTU5;
    CTXGCSetMenuParameterState m_setRMTU5;
    CTXGCMenuState m_exitMenuRTU5;
    CTXGCSaveState m_saveRFPower;
    CTXGCSetRFPowerState m_setRFPower4;
    CTXGCStartAtuTuneState m_startAtuTune;
    CTXGCStartTuneState m_startTune4;
    CDelayState<CTXGCStateMachine> m_delay4;
    CTXGCGetTXState m_getTX4;
    CTXGCReadRFPowerState m_readRFPower4;
    CTXGCGetSwrState m_testSwr4;
    CTXGCTestConvergenceState m_testConvergence4;
    CTXGCSetRXState m_setReceive4W;
    CTXGCSetRFPowerState m_setRFPower6;
    CTXGCStartTuneState m_startTune6;
    CDelayState<CTXGCStateMachine> m_delay6;
    CTXGCGetTXState m_getTX6;
    CTXGCReadRFPowerState m_readRFPower6;
    CTXGCGetSwrState m_testSwr6;
    CTXGCTestConvergenceState m_testConvergence6;
    CTXGCSetRXState m_setReceive6W;
    CTXGCRestoreState m_restoreState;
    CLoopStepState<CTXGCStateMachine> m_loopStep;

  private:
    std::uint32_t m_bandIndex = 0;
    std::uint32_t m_antennaNumber = 1;
    std::string m_antennaText = "AN1;";
    std::uint8_t m_edges[kBandEdges60mSize] = {};
    std::vector<RestoreEntry> m_restore;
    std::vector<RestoreEntry> m_notRestored;
    std::vector<BandOutcome> m_bands;
    std::string m_summary;
    std::uint32_t m_startTick = 0;
    bool m_portFailed = false;
    bool m_mayStillTransmit = false;
    std::function<void()> m_onProgress;
};

}  // namespace rm7
