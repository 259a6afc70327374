#pragma once
// The simulated RM7: its command set, EEPROM, MCU boot loader and DSP load, written from
// what the utility expects of the radio and sharing no code with the utility, so that a
// misreading of the protocol cannot hide on both sides of the wire.
//
// Radio is pure logic driven by the caller's clock (milliseconds, any origin, never
// decreasing): the same radio runs on a pty in real time (rm7-sim) and attached to the
// in-memory port in virtual time. It is not thread-safe; one thread drives it.
// The only I/O it does is the EEPROM file (Options::eepromFile) and the flash dumps
// (Options::flashDumpDir).
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "sim/boot_loader.h"
#include "sim/transmitter.h"

namespace rm7sim {

// Faults on demand. Probabilities are per answer (drop, garble), per good loader packet
// (nak) and per received packet byte (lose). The same seed gives the same faults for the
// same traffic.
struct Faults {
    double drop = 0;    // an answer is lost whole
    double nak = 0;     // a good MCU packet or DSP chunk is rejected with 'N'
    double garble = 0;  // one byte of an answer is damaged
    double lose = 0;    // one received byte of a packet or chunk never arrives
    uint64_t seed = 1;
    int unplugAfterPackets = -1;  // after this many loader packets the radio vanishes; -1 never
    int unplugAfterBlocks = -1;   // after this many configuration blocks read or written ("ER", "EW")
    bool unplugAtReset = false;   // the radio vanishes as it takes a reset command ("LDD20000;")
    bool unplugAtTune = false;    // the radio vanishes as it keys its TUNE carrier ("SWH16;"), keyed
    int txpowerBand = -1;         // txpower=BAND: the displayed power never settles on that band
    int swrBand = -1;             // swr=BAND: high SWR on that band
    int tuneStopBand = -1;        // tunestop=BAND: the TUNE carrier drops after its first power reading
    int outOfBand = -1;           // outofband=BAND: the radio reports that band's frequency out of band
    // garble=CMD[:N]: the N-th answer (from 1) to the command CMD (its text without ';', "BN"
    // for "BN;") has its last digit turned into a letter, once. Several may be given.
    struct GarbleOnce {
        std::string command;
        int nth = 1;
    };
    std::vector<GarbleOnce> garbleOnce;
};

// "drop=0.01,nak=0.02,garble=0.005,lose=0.001,seed=7,unplug=40" (or unplug=reset, unplug=tune,
// unplug=blocks:12: as the 13th configuration block is asked for or written),
// "txpower=3,swr=10,tunestop=4" (band numbers 0 to 10), "garble=BN:2,garble=TQ:5"; an empty list is no fault.
bool ParseFaults(std::string_view list, Faults& out, std::string& error);

// "02.54" -> 254 (two digits, a point, two digits; the leading digit may be left out).
bool ParseVersion(std::string_view text, uint16_t& out);

struct Options {
    uint32_t speed = 38400;
    uint16_t serial = 1234;
    uint16_t mcuVersion = 254;  // 02.54
    uint16_t dspVersion = 254;
    std::string eepromFile;
    bool bootLoader = false;
    // Starts with its TUNE carrier keyed, as a program stopped in the middle of a calibration
    // leaves it.
    bool transmitting = false;
    // Starts in the boot loader in the middle of a download, this many bytes (1-131) of a
    // packet already taken, as a load cut short leaves it; 0 is not.
    size_t midPacket = 0;
    std::string device = "RM7";
    std::string flashDumpDir;
    Faults faults;
    uint32_t latencyMs = 0;
    bool pace = false;
    std::string recordFile;  // used by the front end, which sees the wire
    // The radio's clock: the wall-clock time (ms since the Unix epoch, UTC) that the caller's
    // clock reading 0 stands for, and how far the radio's clock is ahead of it.
    int64_t clockEpochMs = 0;
    int64_t clockOffsetMs = 0;
    // The time menu shows a leading zero of the hours as a blank ('@'), as some radios do.
    bool clockBlankLeadingZero = false;
    // The text terminal: what the radio decodes (reported by "TB;"), one character every
    // rxCharMs from the first byte the radio hears; and how long each character handed over by
    // "KY" takes on the air.
    std::string rxText;
    uint32_t rxCharMs = 50;
    uint32_t txCharMs = 100;
};

class Radio : private BootLoader::Host {
  public:
    static constexpr size_t kEepromSize = 0x8400;
    static constexpr uint16_t kSerialAddress = 0x83FA;
    static constexpr uint32_t kMcuLow = BootLoader::kMcuLow;
    static constexpr uint32_t kMcuHigh = BootLoader::kMcuHigh;
    static constexpr size_t kPacketSize = BootLoader::kPacketSize;
    static constexpr uint32_t kBootLoaderSpeed = BootLoader::kSpeed;
    // How long the radio is deaf after a processor reset and while the DSP flash erases.
    static constexpr uint64_t kResetMs = 500;
    static constexpr uint64_t kDspEraseMs = BootLoader::kDspEraseMs;

    explicit Radio(Options options);
    Radio(const Radio&) = delete;  // its boot loader holds on to it
    Radio& operator=(const Radio&) = delete;

    // Non-empty when the EEPROM file could not be read or written, or a flash dump failed.
    const std::string& Error() const { return error_; }

    // Bytes written by the utility while its line ran at lineSpeed (bit/s), at time nowMs.
    // Bytes sent at a speed other than the radio's are lost (the radio sees framing garbage).
    void Receive(const uint8_t* data, size_t n, uint32_t lineSpeed, uint64_t nowMs) {
        ReceiveUs(data, n, lineSpeed, nowMs * 1000);
    }
    // The same on a microsecond clock (a front end on real time). With pace, each byte is
    // whole only after its ten bits have crossed the wire, and an answer follows the last.
    void ReceiveUs(const uint8_t* data, size_t n, uint32_t lineSpeed, uint64_t nowUs);
    // Output bytes that are due by nowMs (latency and pace respected), removed from the queue.
    std::vector<uint8_t> TakeOutput(uint64_t nowMs) { return TakeOutputUs(nowMs * 1000); }
    std::vector<uint8_t> TakeOutputUs(uint64_t nowUs);
    // When the next output byte becomes due (UINT64_MAX when none queued).
    uint64_t NextOutputDueMs() const;
    uint64_t NextOutputDueUs() const;
    // The unplug fault fired: the front end must go away.
    bool Unplugged() const { return unplugged_; }
    // The cable back in: the radio is as the unplug left it (a boot loader in the middle of a
    // load stays there), and no unplug fault fires again.
    void PlugIn();
    // Switched off and on: what a reset does (a DSP load ends where it stood).
    void PowerCycle(uint64_t nowMs) { Reset(nowMs); }

    // Test-only control interface.
    // Every byte the radio took in at the right speed, in order (not those lost to the
    // "lose" fault, a reset or a switched-off radio).
    const std::vector<uint8_t>& Received() const { return received_; }
    // The text commands, split at ';' (which is left out: the poll is ""), and the boot
    // loader's "D"; loader packets and DSP chunk data are not commands.
    std::vector<std::string> ReceivedCommands() const { return commands_; }
    std::vector<uint8_t>& Eeprom() { return eeprom_; }
    uint16_t McuVersion() const { return loader_.McuVersion(); }
    uint16_t DspVersion() const { return loader_.DspVersion(); }
    bool InBootLoader() const { return loader_.InBootLoader(); }
    bool InDspLoad() const { return loader_.InDspLoad(); }
    // Addresses 0x800-0x1FD7F, 0xFF-filled when a load begins.
    const std::vector<uint8_t>& McuFlash() const { return loader_.McuFlash(); }
    // The DSP chunks in the order they were accepted; emptied by "LDF2;".
    const std::vector<uint8_t>& DspFlash() const { return loader_.DspFlash(); }
    // The speed the radio listens and answers at now (38400 in the boot loader after "LDM;").
    uint32_t Speed() const { return lineSpeed_; }
    // Sets the radio's own speed, at which it runs now and after every reset.
    void SetSpeed(uint32_t bitsPerSecond);
    void SetSilent(bool silent) { silent_ = silent; }
    // Loader packets and DSP chunks completed so far.
    uint32_t Packets() const { return loader_.Packets(); }
    // The radio's clock at nowMs: milliseconds since the Unix epoch as the radio counts them
    // (setting a field in the time menu moves the clock without carrying into the date).
    int64_t ClockMs(uint64_t nowMs) const {
        return options_.clockEpochMs + static_cast<int64_t>(nowMs) + clockAdjustMs_;
    }
    // Seconds of the radio's day at nowMs (0 to 86399).
    int ClockSecondsOfDay(uint64_t nowMs) const;
    bool InTimeMenu() const { return menu_ == kTimeMenu; }
    // Answers "DS;" with this text (its ';' included) instead of the display; empty: the display.
    void SetDisplayAnswer(std::string answer) { displayOverride_ = std::move(answer); }
    // The time menu ignores UP and DN, as a radio whose knob does nothing.
    void SetClockStuck(bool stuck) { clockStuck_ = stuck; }
    // The text terminal's transmit side: what has gone on the air by nowMs (the idle and the
    // end-of-transmission characters left out), how many end-of-transmission characters have,
    // and the characters still waiting.
    std::string OnAir(uint64_t nowMs);
    uint32_t EndsOfTransmission(uint64_t nowMs);
    size_t TransmitWaiting(uint64_t nowMs);
    static constexpr size_t kTransmitBufferSize = 64;
    static constexpr uint8_t kEndOfTransmission = 0x04;
    static constexpr uint8_t kIdle = 0x7F;
    // Band, VFOs, RIT, XIT, antenna, power, menu parameters and TX/RX.
    Transmitter& Tx() { return tx_; }
    const Transmitter& Tx() const { return tx_; }
    bool Transmitting(uint64_t nowMs) const { return !unplugged_ && tx_.Transmitting(nowMs); }
    int MenuOpen() const { return menu_; }
    // Every setting a job may change and must put back, "name=value" a line; then, apart,
    // "transmitting=" and "carriers=" (carriers keyed since the start).
    std::string SettingsText(uint64_t nowMs) const;
    std::string StateText(uint64_t nowMs) const;
    // Counts changes of what StateText shows.
    uint64_t StateChanges() const { return tx_.Changes() + menuChanges_; }

  private:
    struct Pending {
        uint8_t byte;
        uint64_t dueUs;
    };

    void TakeByte(uint8_t b, uint64_t nowMs);
    void TakeTextByte(uint8_t b, uint64_t nowMs);
    void DispatchFirmware(std::string_view command, uint64_t nowMs);
    // The unplug fault for a configuration block about to be read or written: true when it fired.
    bool CheckBlockUnplug();

    // Firmware command handlers: false when the parameters are not the command's, which
    // the radio answers with "?;".
    bool OnIdentify(std::string_view params, uint64_t nowMs);
    bool OnMcuVersion(std::string_view params, uint64_t nowMs);
    bool OnDspVersion(std::string_view params, uint64_t nowMs);
    bool OnOptionModules(std::string_view params, uint64_t nowMs);
    bool OnTextTerminal(std::string_view params, uint64_t nowMs);
    bool OnR5(std::string_view params, uint64_t nowMs);
    bool OnR4(std::string_view params, uint64_t nowMs);
    bool OnReadEeprom(std::string_view params, uint64_t nowMs);
    bool OnWriteEeprom(std::string_view params, uint64_t nowMs);
    bool OnEnterBootLoader(std::string_view params, uint64_t nowMs);
    bool OnDspErase(std::string_view params, uint64_t nowMs);
    bool OnReset(std::string_view params, uint64_t nowMs);
    bool OnMenu(std::string_view params, uint64_t nowMs);
    bool OnDisplay(std::string_view params, uint64_t nowMs);
    bool OnSwitchTap(std::string_view params, uint64_t nowMs);
    bool OnUp(std::string_view params, uint64_t nowMs);
    bool OnDown(std::string_view params, uint64_t nowMs);
    bool StepClockField(int direction, std::string_view params, uint64_t nowMs);
    bool OnTextBuffer(std::string_view params, uint64_t nowMs);
    bool OnKeyText(std::string_view params, uint64_t nowMs);
    // Drains the transmit buffer up to nowMs.
    void Transmit(uint64_t nowMs);
    bool QueryOrSet(std::string_view name, std::string& value, std::string_view params, uint64_t nowMs);

    void Reset(uint64_t nowMs);

    // BootLoader::Host
    void Answer(std::string_view text, uint64_t nowMs) override;
    bool Chance(double probability) override;
    bool UnplugAtPacket(uint32_t done) override;
    // The reset command ("LDD20000;"), where the unplug=reset fault fires.
    void ResetCommand(uint64_t nowMs) override;
    void Restart(uint64_t nowMs) override { Reset(nowMs); }
    void Deafen(uint64_t untilMs) override { deafUntilMs_ = untilMs; }
    void Dump(const char* name, const std::vector<uint8_t>& bytes) override;

    void GarbleOnce(std::string& bytes);
    uint64_t NextRandom();

    void SaveEeprom();

    Options options_;
    std::string error_;
    uint32_t speed_;      // the speed the radio is set to (EEPROM setting)
    uint32_t lineSpeed_;  // the speed its UART runs at now (38400 in the loader after "LDM;")
    bool silent_ = false;
    bool unplugged_ = false;
    uint64_t deafUntilMs_ = 0;

    std::string text_;  // command being gathered
    bool textOverflow_ = false;

    std::string identifyAnswer_;  // the firmware's answer to "I;"
    std::string optionModulesAnswer_;
    std::string r5Mode_ = "0";
    std::string r4Mode_ = "0";
    std::string ttMode_ = "1";

    static constexpr int kNoMenu = 255;
    static constexpr int kTimeMenu = 73;
    enum class ClockField { None, Hours, Minutes, Seconds };
    int menu_ = kNoMenu;
    ClockField clockField_ = ClockField::None;
    int64_t clockAdjustMs_ = 0;
    bool clockStuck_ = false;
    std::string displayOverride_;
    Transmitter tx_;
    uint64_t menuChanges_ = 0;

    std::deque<uint8_t> txBuffer_;
    uint64_t txNextDoneMs_ = 0;  // when the character at the front of the buffer is on the air
    std::string onAir_;
    uint32_t endsOfTransmission_ = 0;
    bool heardAnything_ = false;
    uint64_t rxStartMs_ = 0;
    size_t rxReported_ = 0;

    std::vector<uint8_t> eeprom_;
    BootLoader loader_;

    std::deque<Pending> output_;
    uint64_t lastDueUs_ = 0;
    uint64_t takenUs_ = 0;      // when the byte being taken was whole; answers start there
    uint64_t inputDoneNs_ = 0;  // with pace: when the last byte received has crossed the wire
    uint64_t rng_;
    uint32_t blocks_ = 0;  // configuration blocks read or written

    std::vector<uint8_t> received_;
    std::vector<std::string> commands_;
    // The command being answered, and how many answers each garble=CMD fault has seen.
    std::string answering_;
    std::vector<int> garbleSeen_;
};

}  // namespace rm7sim
