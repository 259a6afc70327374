#include "sim/boot_loader.h"

#include <algorithm>
#include <utility>

#include "sim/command_table.h"

namespace rm7sim {

namespace {

constexpr uint32_t kLastPacketFlag = 0x20000;
constexpr std::string_view kVersionMarker = "SIMVERSION:";

// The four digits after the marker, as a version value; false without a marker.
bool FindVersionMarker(const std::vector<uint8_t>& image, uint16_t& version) {
    const auto it = std::search(image.begin(), image.end(), kVersionMarker.begin(), kVersionMarker.end());
    const auto digitsAt = static_cast<size_t>(it - image.begin()) + kVersionMarker.size();
    if (it == image.end() || digitsAt + 4 > image.size()) {
        return false;
    }
    unsigned value = 0;
    for (size_t i = digitsAt; i < digitsAt + 4; ++i) {
        if (image[i] < '0' || image[i] > '9') {
            return false;
        }
        value = value * 10 + (image[i] - '0');
    }
    version = static_cast<uint16_t>(value);
    return true;
}

}  // namespace

BootLoader::BootLoader(Host& host, const Options& options)
    : host_(host),
      options_(options),
      stage_(options.firmwarePresent ? Stage::Off : Stage::Commands),
      firmwarePresent_(options.firmwarePresent),
      mcuFlash_(kMcuHigh - kMcuLow, 0xFF),
      mcuVersion_(options.mcuVersion),
      dspVersion_(options.dspVersion) {}

void BootLoader::StartMidPacket(size_t taken) {
    // Whatever the first bytes were: the loader waits for the rest of the packet.
    stage_ = Stage::Packets;
    firmwarePresent_ = false;
    packet_.assign(std::min(taken, kPacketSize - 1), 0);
}

void BootLoader::StartDspLoad(uint64_t nowMs) {
    stage_ = Stage::DspLoad;
    dspFlash_.clear();
    lastChunk_.clear();
    chunk_.clear();
    chunkExpected_ = 0;
    sinceAccept_ = SinceAccept::Nothing;
    host_.Deafen(nowMs + kDspEraseMs);
}

bool BootLoader::TakeData(uint8_t b, uint64_t nowMs) {
    if (stage_ == Stage::Packets) {
        if (packet_.empty() && host_.UnplugAtPacket(packets_)) {
            return false;
        }
        if (host_.Chance(options_.lose)) {
            return false;
        }
        packet_.push_back(b);
        if (packet_.size() == kPacketSize) {
            OnMcuPacket(nowMs);
        }
        return true;
    }
    if (host_.Chance(options_.lose)) {
        return false;
    }
    chunk_.push_back(b);
    if (--chunkExpected_ == 0) {
        OnDspChunk(nowMs);
    }
    return true;
}

bool BootLoader::OpenDownload(uint64_t nowMs) {
    if (stage_ != Stage::Commands) {
        return false;
    }
    // "D" opens the download: the loader echoes it and erases the program flash.
    host_.Answer("D", nowMs);
    stage_ = Stage::Packets;
    packet_.clear();
    std::fill(mcuFlash_.begin(), mcuFlash_.end(), 0xFF);
    firmwarePresent_ = false;
    return true;
}

void BootLoader::Handle(std::string_view command, uint64_t nowMs) {
    // The boot loader knows only the poll, who it is, and the reset; the rest it ignores.
    static constexpr Command<BootLoader, uint64_t> kLoaderCommands[] = {
        {"I", &BootLoader::OnIdentify},
        {"LDD", &BootLoader::OnReset},
    };
    // The DSP load takes chunks announced by "LDF2" (and starts again on a bare "LDF2").
    static constexpr Command<BootLoader, uint64_t> kDspCommands[] = {
        {"LDD", &BootLoader::OnReset},
        {"LDF2", &BootLoader::OnChunk},
    };
    if (stage_ == Stage::Commands) {
        if (command.empty()) {
            host_.Answer(";", nowMs);
            return;
        }
        Dispatch(*this, kLoaderCommands, command, nowMs);
        return;
    }
    if (stage_ != Stage::DspLoad) {
        return;
    }
    if (command.empty()) {
        // A poll between chunks: 'N' says the DSP loader stands at a chunk boundary.
        if (sinceAccept_ == SinceAccept::Nothing) {
            sinceAccept_ = SinceAccept::PollsOnly;
        }
        host_.Answer("N", nowMs);
        return;
    }
    if (!Dispatch(*this, kDspCommands, command, nowMs)) {
        sinceAccept_ = SinceAccept::Other;  // noise, or the remains of a damaged chunk
    }
}

void BootLoader::Noise() {
    if (stage_ == Stage::DspLoad) {
        sinceAccept_ = SinceAccept::Other;
    }
}

bool BootLoader::OnIdentify(std::string_view params, uint64_t nowMs) {
    if (!params.empty()) {
        return false;
    }
    host_.Answer(identifyAnswer_, nowMs);
    return true;
}

bool BootLoader::OnReset(std::string_view params, uint64_t nowMs) {
    if (params != "20000") {
        return false;
    }
    host_.ResetCommand(nowMs);
    return true;
}

// "LDF2" LL SS: a chunk of LL (1-64) bytes follows, summing to SS; a bare "LDF2" erases again.
bool BootLoader::OnChunk(std::string_view params, uint64_t nowMs) {
    if (params.empty()) {
        StartDspLoad(nowMs);
        return true;
    }
    uint8_t length = 0;
    uint8_t sum = 0;
    if (params.size() != 4 || !ParseHexByte(params, 0, length) || !ParseHexByte(params, 2, sum) || length < 1 ||
        length > 64) {
        return false;
    }
    if (host_.UnplugAtPacket(packets_)) {
        return true;
    }
    chunkExpected_ = length;
    chunkSum_ = sum;
    chunk_.clear();
    return true;
}

void BootLoader::OnMcuPacket(uint64_t nowMs) {
    ++packets_;
    uint8_t sum = 0;
    for (const uint8_t b : packet_) {
        sum = static_cast<uint8_t>(sum + b);
    }
    const uint32_t address = packet_[128] | (uint32_t{packet_[129]} << 8) | (uint32_t{packet_[130]} << 16);
    const bool last = address == (kMcuLow | kLastPacketFlag);
    const bool inRange = address >= kMcuLow && address < kMcuHigh && (address - kMcuLow) % 128 == 0;
    if (sum != 0 || !(last || inRange) || host_.Chance(options_.nak)) {
        packet_.clear();
        host_.Answer("N", nowMs);
        return;
    }
    const uint32_t block = last ? kMcuLow : address;
    std::copy(packet_.begin(), packet_.begin() + 128, mcuFlash_.begin() + (block - kMcuLow));
    packet_.clear();
    if (last) {
        host_.Answer("B", nowMs);
        FinishMcuLoad(nowMs);
    } else {
        host_.Answer("A", nowMs);
    }
}

void BootLoader::OnDspChunk(uint64_t nowMs) {
    ++packets_;
    uint8_t sum = 0;
    for (const uint8_t b : chunk_) {
        sum = static_cast<uint8_t>(sum + b);
    }
    if (sum != chunkSum_ || host_.Chance(options_.nak)) {
        // A damaged copy of the chunk re-sent after a missed 'A' keeps it a repeat.
        if (sinceAccept_ != SinceAccept::PollsOnly) {
            sinceAccept_ = SinceAccept::Other;
        }
        host_.Answer("N", nowMs);
        return;
    }
    // Only polls since the last 'A' and the same bytes again: the utility missed that 'A'
    // and re-sends the chunk, which must not be stored twice.
    const bool repeat = sinceAccept_ == SinceAccept::PollsOnly && !lastChunk_.empty() && chunk_ == lastChunk_;
    if (!repeat) {
        dspFlash_.insert(dspFlash_.end(), chunk_.begin(), chunk_.end());
        lastChunk_ = chunk_;
    }
    sinceAccept_ = SinceAccept::Nothing;
    host_.Answer("A", nowMs);
}

void BootLoader::Reset() {
    if (stage_ == Stage::DspLoad) {
        FinishDspLoad();
    }
    stage_ = firmwarePresent_ ? Stage::Off : Stage::Commands;
    packet_.clear();
    chunk_.clear();
    chunkExpected_ = 0;
}

void BootLoader::FinishMcuLoad(uint64_t nowMs) {
    firmwarePresent_ = true;
    FindVersionMarker(mcuFlash_, mcuVersion_);
    host_.Dump("mcu.bin", mcuFlash_);
    host_.Restart(nowMs);
}

void BootLoader::FinishDspLoad() {
    FindVersionMarker(dspFlash_, dspVersion_);
    host_.Dump("dsp.bin", dspFlash_);
}

}  // namespace rm7sim
