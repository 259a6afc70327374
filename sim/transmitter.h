#pragma once
// The simulated radio's operating settings and its transmitter: band, VFOs (each band keeps its
// own pair, as the radio's band stack does), RIT, XIT, RIT offset, antenna, RF power, the menu
// parameters, TX/RX and TUNE, the antenna-tuner tune, and the displays that show the power and
// the SWR while a carrier is keyed. Pure logic on the caller's clock, like Radio.
#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace rm7sim {

struct TransmitterFaults {
    int unsettledBand = -1;  // txpower=BAND: the displayed power never settles on that band
    int highSwrBand = -1;    // swr=BAND: the dummy load is missing on that band (SWR 3.2:1)
    int tuneStopBand = -1;   // tunestop=BAND: the TUNE carrier drops after its first power reading
    int outOfBand = -1;      // outofband=BAND: the power display reads "END" there (the radio may not transmit)
};

class Transmitter {
  public:
    static constexpr int kBands = 11;
    static constexpr uint64_t kAtuTuneMs = 1200;

    Transmitter();

    void SetFaults(const TransmitterFaults& faults) { faults_ = faults; }
    // Handles a firmware command (without its ';'); false when it is none of the transmitter's.
    // menu: the menu entry open on the radio (255: none). answer: what to send back, if anything.
    bool Handle(std::string_view command, int menu, uint64_t nowMs, std::string& answer);

    bool Transmitting(uint64_t nowMs) const;
    // Carriers keyed since the start (TUNE and tuner tunes).
    uint32_t Carriers() const { return carriers_; }
    // Every setting, "name=value" a line, in a fixed order: two readings compare as text.
    std::string SettingsText(uint64_t nowMs) const;
    // Counts every change of a setting or of TX/RX, so a front end knows when to write them out.
    uint64_t Changes() const { return changes_; }

    // Test-only control.
    void SetTxTest(bool on) { txTest_ = on; }
    void SetBand(int band) { band_ = band; }
    void SetRit(bool on) { rit_ = on; }
    void SetXit(bool on) { xit_ = on; }
    void SetRitOffset(int hz) { ritOffset_ = hz; }
    void SetAntenna(int antenna) { antenna_ = antenna; }
    void SetMenuParameter(int menu, int value) { menuParams_[menu] = value; }
    void SetPower(int watts) { power_ = watts; }
    int Band() const { return band_; }

  private:
    void Key(uint64_t nowMs);
    void Unkey();
    void Changed() { ++changes_; }
    std::string PowerReading();
    std::string SwrReading() const;
    bool QueryOrSetNumber(std::string_view name, std::string_view params, size_t width, int low, int high, int& field,
                          std::string& answer);

    // One command as the table hands it over: the open menu entry, the time and the answer.
    struct Call {
        int menu;
        uint64_t nowMs;
        std::string& answer;
    };
    bool OnVfo(char which, uint64_t& vfo, std::string_view params, std::string& answer);
    bool OnVfoA(std::string_view params, const Call& call);
    bool OnVfoB(std::string_view params, const Call& call);
    bool OnFlag(std::string_view name, bool& flag, std::string_view params, std::string& answer);
    bool OnRit(std::string_view params, const Call& call);
    bool OnXit(std::string_view params, const Call& call);
    bool OnRitOffset(std::string_view params, const Call& call);
    bool OnAntenna(std::string_view params, const Call& call);
    bool OnPower(std::string_view params, const Call& call);
    bool OnBand(std::string_view params, const Call& call);
    bool OnMenuParameter(std::string_view params, const Call& call);
    bool OnTxQuery(std::string_view params, const Call& call);
    bool OnReceive(std::string_view params, const Call& call);
    bool OnTune(std::string_view params, const Call& call);
    bool OnAtuTune(std::string_view params, const Call& call);
    bool OnDisplayB(std::string_view params, const Call& call);
    bool OnSwrDisplay(std::string_view params, const Call& call);
    bool OnIcons(std::string_view params, const Call& call);
    uint64_t& VfoA() { return vfoA_[band_ >= 0 && band_ < kBands ? band_ : 0]; }
    uint64_t& VfoB() { return vfoB_[band_ >= 0 && band_ < kBands ? band_ : 0]; }

    TransmitterFaults faults_;
    int band_ = 5;
    uint64_t vfoA_[kBands];
    uint64_t vfoB_[kBands];
    bool rit_ = false;
    bool xit_ = false;
    int ritOffset_ = 0;
    int antenna_ = 1;
    int power_ = 10;
    std::map<int, int> menuParams_;
    int displayB_ = 0;
    bool txTest_ = false;

    bool tuneKeyed_ = false;
    uint64_t atuUntilMs_ = 0;
    int keyedPower_ = 0;  // the power the carrier was keyed at, in watts
    uint32_t reads_ = 0;  // power reads since the carrier was keyed
    uint32_t carriers_ = 0;
    uint64_t changes_ = 0;
};

}  // namespace rm7sim
