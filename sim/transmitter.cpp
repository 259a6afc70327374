#include "sim/transmitter.h"

#include <charconv>
#include <cstdio>

#include "sim/command_table.h"

namespace rm7sim {

namespace {

// The VFO A frequency each band recalls at start, in Hz.
constexpr uint64_t kBandStart[Transmitter::kBands] = {1'840'000,  3'573'000,  5'357'000,  7'074'000,
                                                      10'136'000, 14'074'000, 18'100'000, 21'074'000,
                                                      24'915'000, 28'074'000, 50'313'000};

bool ParseUnsigned(std::string_view text, size_t digits, uint64_t& out) {
    if (text.size() != digits || digits == 0) {
        return false;
    }
    const auto r = std::from_chars(text.data(), text.data() + text.size(), out);
    return r.ec == std::errc{} && r.ptr == text.data() + text.size();
}

std::string Printf(const char* format, unsigned long long value) {
    char text[48];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

}  // namespace

Transmitter::Transmitter() {
    for (int i = 0; i < kBands; ++i) {
        vfoA_[i] = kBandStart[i];
        vfoB_[i] = kBandStart[i] + 1'000;
    }
    menuParams_[23] = 1;  // the tuner menu: tune with the internal tuner
    menuParams_[58] = 0;  // the tune power menu
}

bool Transmitter::Transmitting(uint64_t nowMs) const {
    return tuneKeyed_ || nowMs < atuUntilMs_;
}

void Transmitter::Key(uint64_t nowMs) {
    (void)nowMs;
    if (!tuneKeyed_) {
        ++carriers_;
        reads_ = 0;
        keyedPower_ = power_;
    }
    tuneKeyed_ = true;
    Changed();
}

void Transmitter::Unkey() {
    if (tuneKeyed_ || atuUntilMs_ != 0) {
        Changed();
    }
    tuneKeyed_ = false;
    atuUntilMs_ = 0;
}

// The power meter climbs to the carrier's power over three reads, wobbles once by a tenth and
// then holds; on a band with the txpower fault it never holds.
std::string Transmitter::PowerReading() {
    const int target = keyedPower_ * 10;
    ++reads_;
    int tenths = target;
    if (faults_.unsettledBand == band_) {
        tenths = target + static_cast<int>(reads_ % 3) - 1;
    } else if (reads_ == 1) {
        tenths = target * 6 / 10;
    } else if (reads_ == 2) {
        tenths = target * 9 / 10;
    } else if (reads_ == 3) {
        tenths = target - 1;
    } else if (reads_ == 5) {
        tenths = target + 1;
    }
    char text[32];
    std::snprintf(text, sizeof text, "DB%3d.%d W;", tenths / 10, tenths % 10);
    return text;
}

// The SWR on the VFO A display: "1.1" into the dummy load, "3.2" without one.
std::string Transmitter::SwrReading() const {
    return faults_.highSwrBand == band_ ? "DS@@@3\xB2@@>;" : "DS@@@1\xB1@@>;";
}

// "XX" answers "XX" and the value in width digits; "XX" and up to width digits sets a value in
// [low, high].
bool Transmitter::QueryOrSetNumber(std::string_view name, std::string_view params, size_t width, int low, int high,
                                   int& field, std::string& answer) {
    uint64_t value = 0;
    if (params.empty()) {
        char text[16];
        std::snprintf(text, sizeof text, "%.2s%0*d;", name.data(), static_cast<int>(width), field);
        answer = text;
        return true;
    }
    if (!ParseUnsigned(params, width, value) || value < static_cast<uint64_t>(low) ||
        value > static_cast<uint64_t>(high)) {
        return false;
    }
    field = static_cast<int>(value);
    Changed();
    return true;
}

bool Transmitter::Handle(std::string_view command, int menu, uint64_t nowMs, std::string& answer) {
    static constexpr Command<Transmitter, const Call&> kCommands[] = {
        {"FA", &Transmitter::OnVfoA},       {"FB", &Transmitter::OnVfoB},      {"RT", &Transmitter::OnRit},
        {"XT", &Transmitter::OnXit},        {"RO", &Transmitter::OnRitOffset}, {"AN", &Transmitter::OnAntenna},
        {"PC", &Transmitter::OnPower},      {"BN", &Transmitter::OnBand},      {"MP", &Transmitter::OnMenuParameter},
        {"TQ", &Transmitter::OnTxQuery},    {"RX", &Transmitter::OnReceive},   {"SWH16", &Transmitter::OnTune},
        {"SWT44", &Transmitter::OnAtuTune}, {"DB", &Transmitter::OnDisplayB},  {"DS", &Transmitter::OnSwrDisplay},
        {"IC", &Transmitter::OnIcons},
    };
    return Dispatch(*this, kCommands, command, Call{menu, nowMs, answer});
}

bool Transmitter::OnVfo(char which, uint64_t& vfo, std::string_view params, std::string& answer) {
    uint64_t value = 0;
    if (params.empty()) {
        answer = Printf(which == 'A' ? "FA%011llu;" : "FB%011llu;", static_cast<unsigned long long>(vfo));
    } else if (ParseUnsigned(params, 11, value)) {
        vfo = value;
        Changed();
    } else {
        return false;
    }
    return true;
}

bool Transmitter::OnVfoA(std::string_view params, const Call& call) {
    return OnVfo('A', VfoA(), params, call.answer);
}

bool Transmitter::OnVfoB(std::string_view params, const Call& call) {
    return OnVfo('B', VfoB(), params, call.answer);
}

bool Transmitter::OnFlag(std::string_view name, bool& flag, std::string_view params, std::string& answer) {
    if (params.empty()) {
        answer = std::string(name) + (flag ? "1;" : "0;");
    } else if (params == "0" || params == "1") {
        flag = params == "1";
        Changed();
    } else {
        return false;
    }
    return true;
}

bool Transmitter::OnRit(std::string_view params, const Call& call) {
    return OnFlag("RT", rit_, params, call.answer);
}

bool Transmitter::OnXit(std::string_view params, const Call& call) {
    return OnFlag("XT", xit_, params, call.answer);
}

bool Transmitter::OnRitOffset(std::string_view params, const Call& call) {
    uint64_t value = 0;
    if (params.empty()) {
        char text[16];
        std::snprintf(text, sizeof text, "RO%c%04d;", ritOffset_ < 0 ? '-' : '+',
                      ritOffset_ < 0 ? -ritOffset_ : ritOffset_);
        call.answer = text;
    } else if ((params[0] == '+' || params[0] == '-') && ParseUnsigned(params.substr(1), 4, value)) {
        ritOffset_ = static_cast<int>(value) * (params[0] == '-' ? -1 : 1);
        Changed();
    } else {
        return false;
    }
    return true;
}

bool Transmitter::OnAntenna(std::string_view params, const Call& call) {
    return QueryOrSetNumber("AN", params, 1, 1, 3, antenna_, call.answer);
}

bool Transmitter::OnPower(std::string_view params, const Call& call) {
    return QueryOrSetNumber("PC", params, 3, 0, 100, power_, call.answer);
}

bool Transmitter::OnBand(std::string_view params, const Call& call) {
    return QueryOrSetNumber("BN", params, 2, 0, kBands - 1, band_, call.answer);
}

// Only with a menu entry open.
bool Transmitter::OnMenuParameter(std::string_view params, const Call& call) {
    return call.menu != 255 && QueryOrSetNumber("MP", params, 3, 0, 255, menuParams_[call.menu], call.answer);
}

bool Transmitter::OnTxQuery(std::string_view params, const Call& call) {
    if (!params.empty()) {
        return false;
    }
    call.answer = Transmitting(call.nowMs) ? "TQ1;" : "TQ0;";
    return true;
}

bool Transmitter::OnReceive(std::string_view params, const Call& /*call*/) {
    if (!params.empty()) {
        return false;
    }
    Unkey();
    return true;
}

// TUNE: a carrier at the RF power setting until RX.
bool Transmitter::OnTune(std::string_view params, const Call& call) {
    if (!params.empty()) {
        return false;
    }
    Key(call.nowMs);
    return true;
}

// The antenna tuner tunes on a short carrier of its own.
bool Transmitter::OnAtuTune(std::string_view params, const Call& call) {
    if (!params.empty()) {
        return false;
    }
    if (!Transmitting(call.nowMs)) {
        ++carriers_;
    }
    atuUntilMs_ = call.nowMs + kAtuTuneMs;
    Changed();
    return true;
}

// The VFO B display: the power while a carrier is keyed, otherwise VFO B's frequency; "DBnn"
// chooses what it shows.
bool Transmitter::OnDisplayB(std::string_view params, const Call& call) {
    uint64_t value = 0;
    if (params.empty()) {
        if (tuneKeyed_ && faults_.outOfBand == band_) {
            call.answer = "DB  END;";
        } else if (tuneKeyed_) {
            call.answer = PowerReading();
            if (faults_.tuneStopBand == band_) {
                Unkey();  // a carrier that drops on its own, as a radio's protection may
            }
        } else {
            const unsigned long long hz = VfoB();
            char text[32];
            std::snprintf(text, sizeof text, "DB%3llu.%03llu.%02llu;", hz / 1'000'000ull, hz / 1000ull % 1000ull,
                          hz / 10ull % 100ull);
            call.answer = text;
        }
    } else if (ParseUnsigned(params, 2, value)) {
        displayB_ = static_cast<int>(value);
    } else {
        return false;
    }
    return true;
}

// The VFO A display shows the SWR only while a carrier is keyed; otherwise it is the radio's.
bool Transmitter::OnSwrDisplay(std::string_view params, const Call& call) {
    if (!params.empty() || !tuneKeyed_) {
        return false;
    }
    call.answer = SwrReading();
    return true;
}

bool Transmitter::OnIcons(std::string_view params, const Call& call) {
    if (!params.empty()) {
        return false;
    }
    call.answer = "IC@@@@@;";
    if (txTest_) {
        call.answer[4] = static_cast<char>(0xE0);
    }
    return true;
}

std::string Transmitter::SettingsText(uint64_t nowMs) const {
    (void)nowMs;
    std::string text;
    const auto line = [&text](const std::string& name, long long value) {
        text += name + "=" + std::to_string(value) + "\n";
    };
    line("band", band_);
    for (int i = 0; i < kBands; ++i) {
        line("vfo_a." + std::to_string(i), static_cast<long long>(vfoA_[i]));
        line("vfo_b." + std::to_string(i), static_cast<long long>(vfoB_[i]));
    }
    line("rit", rit_ ? 1 : 0);
    line("xit", xit_ ? 1 : 0);
    line("rit_offset", ritOffset_);
    line("antenna", antenna_);
    line("rf_power", power_);
    for (const auto& [entry, value] : menuParams_) {
        line("menu_parameter." + std::to_string(entry), value);
    }
    return text;
}

}  // namespace rm7sim
