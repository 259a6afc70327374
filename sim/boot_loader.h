#pragma once
// The simulated radio's loaders: the MCU boot loader, which after "D" takes the program flash in
// 132-byte packets, and the DSP load that the firmware starts with "LDF2;", which takes announced
// chunks. Pure logic on the caller's clock, like Transmitter; the radio it sits in lends it the
// wire, the dice of its faults and its reset (Host).
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace rm7sim {

class BootLoader {
  public:
    static constexpr uint32_t kMcuLow = 0x800;
    static constexpr uint32_t kMcuHigh = 0x1FD80;
    static constexpr size_t kPacketSize = 132;
    static constexpr uint32_t kSpeed = 38400;
    // How long the radio is deaf while the DSP flash erases.
    static constexpr uint64_t kDspEraseMs = 1000;

    // What the loader needs of the radio around it.
    class Host {
      public:
        virtual void Answer(std::string_view text, uint64_t nowMs) = 0;
        // The fault dice: true with the given probability.
        virtual bool Chance(double probability) = 0;
        // The unplug fault for a loader packet or chunk about to begin, `done` completed so far:
        // true when the radio is gone.
        virtual bool UnplugAtPacket(uint32_t done) = 0;
        // The reset command ("LDD20000;"), and the restart that ends an MCU load.
        virtual void ResetCommand(uint64_t nowMs) = 0;
        virtual void Restart(uint64_t nowMs) = 0;
        // The radio hears nothing before untilMs (the DSP flash erasing).
        virtual void Deafen(uint64_t untilMs) = 0;
        // Writes a finished flash to the dump folder, if there is one.
        virtual void Dump(const char* name, const std::vector<uint8_t>& bytes) = 0;

      protected:
        ~Host() = default;
    };

    struct Options {
        bool firmwarePresent = true;  // false: a reset starts the boot loader
        uint16_t mcuVersion = 254;
        uint16_t dspVersion = 254;
        double nak = 0;   // a good packet or chunk is rejected with 'N'
        double lose = 0;  // a received packet or chunk byte never arrives
    };

    BootLoader(Host& host, const Options& options);

    // What the boot loader says of itself to "I;".
    void SetIdentity(std::string answer) { identifyAnswer_ = std::move(answer); }
    // Starts as a load cut short leaves it: in the download, `taken` bytes of a packet taken.
    void StartMidPacket(size_t taken);

    // Neither loader runs: the firmware has the line.
    bool Off() const { return stage_ == Stage::Off; }
    bool InBootLoader() const { return stage_ == Stage::Commands || stage_ == Stage::Packets; }
    bool InDspLoad() const { return stage_ == Stage::DspLoad; }

    // The firmware's commands that hand the line over: "LDM;" and "LDF2;".
    void Enter() { stage_ = Stage::Commands; }
    void StartDspLoad(uint64_t nowMs);

    // True while the bytes on the line are packet or chunk data rather than commands.
    bool TakesData() const { return stage_ == Stage::Packets || (stage_ == Stage::DspLoad && chunkExpected_ > 0); }
    // One data byte; false when the lose fault (or the unplug fault) took it.
    bool TakeData(uint8_t b, uint64_t nowMs);
    // "D" as the first byte of a command opens the download; false when the loader is not waiting for it.
    bool OpenDownload(uint64_t nowMs);
    // A command (without its ';') heard while a loader runs.
    void Handle(std::string_view command, uint64_t nowMs);
    // Text too long to be a command.
    void Noise();

    // The processor restarts: a DSP load ends where it stood; the firmware runs if it is there.
    void Reset();

    uint16_t McuVersion() const { return mcuVersion_; }
    uint16_t DspVersion() const { return dspVersion_; }
    const std::vector<uint8_t>& McuFlash() const { return mcuFlash_; }
    const std::vector<uint8_t>& DspFlash() const { return dspFlash_; }
    uint32_t Packets() const { return packets_; }

  private:
    enum class Stage { Off, Commands, Packets, DspLoad };
    // What reached the DSP loader since it last accepted a chunk; tells a chunk re-sent
    // after a lost 'A' from a new chunk that happens to hold the same bytes.
    enum class SinceAccept { Nothing, PollsOnly, Other };

    bool OnIdentify(std::string_view params, uint64_t nowMs);
    bool OnReset(std::string_view params, uint64_t nowMs);
    bool OnChunk(std::string_view params, uint64_t nowMs);
    void OnMcuPacket(uint64_t nowMs);
    void OnDspChunk(uint64_t nowMs);
    void FinishMcuLoad(uint64_t nowMs);
    void FinishDspLoad();

    Host& host_;
    Options options_;
    Stage stage_;
    bool firmwarePresent_;
    std::string identifyAnswer_;
    std::vector<uint8_t> packet_;
    size_t chunkExpected_ = 0;  // DSP chunk bytes still to come
    uint8_t chunkSum_ = 0;
    std::vector<uint8_t> chunk_;
    std::vector<uint8_t> lastChunk_;
    SinceAccept sinceAccept_ = SinceAccept::Nothing;
    std::vector<uint8_t> mcuFlash_;
    std::vector<uint8_t> dspFlash_;
    uint16_t mcuVersion_;
    uint16_t dspVersion_;
    uint32_t packets_ = 0;
};

}  // namespace rm7sim
